// The crash host's Windows side: the unhandled-exception filter and read-only memory.
#include "QwCrashHost.h"

#include <windows.h>
#include <stdio.h>

namespace {

const char* s_pszTag = "";
bool s_bEnd = false;

LONG WINAPI OnHostException(EXCEPTION_POINTERS* pPointers)
{
    fprintf(stderr, "host handler %s %08lx\n", s_pszTag, (unsigned long)pPointers->ExceptionRecord->ExceptionCode);
    fflush(stderr);
    if (s_bEnd)
        ExitProcess(42);
    return EXCEPTION_CONTINUE_SEARCH;
}

} // namespace

std::string HandlerState()
{
    LPTOP_LEVEL_EXCEPTION_FILTER pfnNow = SetUnhandledExceptionFilter(NULL);
    SetUnhandledExceptionFilter(pfnNow);
    char sz[32];
    snprintf(sz, sizeof(sz), "%p", (void*)pfnNow);
    return sz;
}

void InstallHostHandler(const char* pszTag, bool bEnd)
{
    s_pszTag = pszTag;
    s_bEnd = bEnd;
    SetUnhandledExceptionFilter(&OnHostException);
}

void WriteReadOnly()
{
    void* p = VirtualAlloc(NULL, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READONLY);
    *(volatile int*)p = 1;
}
