// The Windows clock: the system time read directly, local time by the C runtime,
// and the calling thread's id.
#include "../LogClass/Platform.h"

#include <windows.h>

#include <time.h>

namespace {

const ULONGLONG TICKS_1601_TO_1970 = 116444736000000000ULL;
const ULONGLONG TICKS_PER_SECOND = 10000000ULL;  // of 100 ns

typedef VOID(WINAPI* PFN_GETTIME)(LPFILETIME);

// GetSystemTimePreciseAsFileTime where the system has it (Windows 8 and later),
// looked up once so that the DLL still loads on older systems; else
// GetSystemTimeAsFileTime, whose fraction moves by the timer tick.
PFN_GETTIME PreciseTimeFunction(void)
{
    HMODULE hKernel = GetModuleHandleW(L"kernel32.dll");
    FARPROC pfn = hKernel != NULL ? GetProcAddress(hKernel, "GetSystemTimePreciseAsFileTime") : NULL;
    return pfn != NULL ? reinterpret_cast<PFN_GETTIME>(reinterpret_cast<void*>(pfn)) : &GetSystemTimeAsFileTime;
}

// 100 ns ticks since 1970 of a file time.
ULONGLONG TicksSince1970(const FILETIME& ft)
{
    ULONGLONG nTicks = ((ULONGLONG)ft.dwHighDateTime << 32) | ft.dwLowDateTime;  // since 1601
    return nTicks - TICKS_1601_TO_1970;
}

} // namespace

time_t QwSystemClock(void)
{
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    return (time_t)(TicksSince1970(ft) / TICKS_PER_SECOND);
}

BOOL QwLocalTime(const time_t* pClock, struct tm* pTm)
{
    return localtime_s(pTm, pClock) == 0 ? TRUE : FALSE;
}

void QwSystemClockPrecise(QW_CLOCK_READING* pNow)
{
    static const PFN_GETTIME s_pfnTime = PreciseTimeFunction();
    FILETIME ft;
    s_pfnTime(&ft);
    ULONGLONG nTicks = TicksSince1970(ft);
    pNow->tSeconds = (time_t)(nTicks / TICKS_PER_SECOND);
    pNow->nNanos = (long)(nTicks % TICKS_PER_SECOND) * 100;
}

DWORD QwSystemThreadId(void) { return GetCurrentThreadId(); }
