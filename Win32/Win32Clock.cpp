// The Windows clock: the system time read directly, local time by the C runtime.
#include "../LogClass/Platform.h"

#include <windows.h>

#include <time.h>

time_t QwSystemClock(void)
{
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    ULONGLONG nTicks = ((ULONGLONG)ft.dwHighDateTime << 32) | ft.dwLowDateTime;  // 100 ns since 1601
    const ULONGLONG TICKS_1601_TO_1970 = 116444736000000000ULL;
    return (time_t)((nTicks - TICKS_1601_TO_1970) / 10000000ULL);
}

BOOL QwLocalTime(const time_t* pClock, struct tm* pTm)
{
    return localtime_s(pTm, pClock) == 0 ? TRUE : FALSE;
}
