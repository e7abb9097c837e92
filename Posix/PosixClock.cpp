// The POSIX clock: the C library's time(), clock_gettime and localtime_r, and
// the calling thread's id.
#include "../LogClass/Platform.h"

#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

time_t QwSystemClock(void) { return time(NULL); }

BOOL QwLocalTime(const time_t* pClock, struct tm* pTm)
{
    return localtime_r(pClock, pTm) != NULL ? TRUE : FALSE;
}

void QwSystemClockPrecise(QW_CLOCK_READING* pNow)
{
    struct timespec ts;
    if (clock_gettime(CLOCK_REALTIME, &ts) != 0) {
        ts.tv_sec = time(NULL);  // never seen on Linux; whole seconds rather than nothing
        ts.tv_nsec = 0;
    }
    pNow->tSeconds = ts.tv_sec;
    pNow->nNanos = (long)ts.tv_nsec;
}

// The kernel's id of the thread (what ps -L and /proc/<pid>/task show), asked
// each time: a cached value would be the parent's in a child of fork.
DWORD QwSystemThreadId(void) { return (DWORD)syscall(SYS_gettid); }
