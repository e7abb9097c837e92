// The POSIX clock: the C library's time(), clock_gettime and localtime_r, and
// the calling thread's id.
#include "../LogClass/Platform.h"

#include <pthread.h>
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

namespace {

// The calling thread's id once asked for: gettid is a system call, which costs
// as much as an entry's write where system calls are dear. 0: not asked yet.
thread_local DWORD t_nThreadId = 0;

// In the child of fork: its one thread is a new thread with an id of its own,
// though it runs on the copy of the parent's thread that forked.
void ForgetThreadId(void) { t_nThreadId = 0; }

} // namespace

// The kernel's id of the thread (what ps -L and /proc/<pid>/task show), asked
// once per thread, and again in the child of a fork.
DWORD QwSystemThreadId(void)
{
    if (t_nThreadId == 0) {
        static const int s_nAtFork = pthread_atfork(NULL, NULL, &ForgetThreadId);
        (void)s_nAtFork;
        t_nThreadId = (DWORD)syscall(SYS_gettid);
    }
    return t_nThreadId;
}
