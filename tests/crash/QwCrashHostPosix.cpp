// The crash host's POSIX side: signal dispositions and read-only memory.
#include "QwCrashHost.h"

#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {

const int s_anSignals[] = { SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT, SIGTRAP };
const char* s_pszTag = "";
bool s_bEnd = false;

void OnHostSignal(int nSignal)
{
    char sz[64];
    int n = snprintf(sz, sizeof(sz), "host handler %s %d\n", s_pszTag, nSignal);
    if (write(2, sz, (size_t)n) < 0)
        _exit(41);
    if (s_bEnd)
        _exit(42);
    signal(nSignal, SIG_DFL);
}

} // namespace

std::string HandlerState()
{
    std::string str;
    for (int nSignal : s_anSignals) {
        struct sigaction act;
        sigaction(nSignal, NULL, &act);
        char sz[64];
        // The flag glibc adds to every handler it installs is left out.
        snprintf(sz, sizeof(sz), "%d:%p:%x;", nSignal, (void*)act.sa_sigaction, (unsigned)act.sa_flags & ~0x04000000u);
        str += sz;
    }
    return str;
}

void InstallHostHandler(const char* pszTag, bool bEnd)
{
    s_pszTag = pszTag;
    s_bEnd = bEnd;
    for (int nSignal : s_anSignals)
        signal(nSignal, &OnHostSignal);
}

void WriteReadOnly()
{
    void* p = mmap(NULL, 4096, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    *(volatile int*)p = 1;
}
