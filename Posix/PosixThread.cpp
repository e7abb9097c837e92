// The POSIX side of the host's threads and processes: the object's lock (a
// pthread mutex), cancellation held off inside the library's calls, and the
// handlers around fork().
#include "../LogClass/Platform.h"

#include <pthread.h>

static_assert(sizeof(pthread_mutex_t) <= sizeof(QW_LOCK::abStorage), "QW_LOCK too small for a pthread mutex");
static_assert(alignof(pthread_mutex_t) <= 8, "QW_LOCK aligned too loosely for a pthread mutex");

namespace {

// The mutex in pLock's storage.
pthread_mutex_t* MutexOf(QW_LOCK* pLock) { return reinterpret_cast<pthread_mutex_t*>(pLock->abStorage); }

} // namespace

// A mutex of the default kind: not recursive, and given back in a child of
// fork() by the thread that forked (ForkGuard), which a mutex that checks its
// owner would refuse there.
BOOL QwInitLock(QW_LOCK* pLock) { return pthread_mutex_init(MutexOf(pLock), NULL) == 0 ? TRUE : FALSE; }

void QwEnterLock(QW_LOCK* pLock) { pthread_mutex_lock(MutexOf(pLock)); }

BOOL QwTryEnterLock(QW_LOCK* pLock) { return pthread_mutex_trylock(MutexOf(pLock)) == 0 ? TRUE : FALSE; }

void QwLeaveLock(QW_LOCK* pLock) { pthread_mutex_unlock(MutexOf(pLock)); }

void QwDeleteLock(QW_LOCK* pLock) { pthread_mutex_destroy(MutexOf(pLock)); }

int QwHoldCancel(void)
{
    int nOld = PTHREAD_CANCEL_ENABLE;
    if (pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &nOld) != 0)
        return PTHREAD_CANCEL_ENABLE;
    return nOld;
}

void QwRestoreCancel(int nState)
{
    // Only a state that was enabled is given back: a disabled one stays as it is.
    if (nState == PTHREAD_CANCEL_ENABLE)
        pthread_setcancelstate(PTHREAD_CANCEL_ENABLE, NULL);
}

void QwOnFork(void (*pfnPrepare)(void), void (*pfnParent)(void), void (*pfnChild)(void))
{
    pthread_atfork(pfnPrepare, pfnParent, pfnChild);
}
