// The POSIX clock: the C library's time() and localtime_r.
#include "../LogClass/Platform.h"

#include <time.h>

time_t QwSystemClock(void) { return time(NULL); }

BOOL QwLocalTime(const time_t* pClock, struct tm* pTm)
{
    return localtime_r(pClock, pTm) != NULL ? TRUE : FALSE;
}
