// The POSIX side of the host's threads and processes: the object's lock (a
// pthread mutex, tried for a while before the waiter sleeps), cancellation
// held off inside the library's calls, and the handlers around fork().
#include "../LogClass/Platform.h"

#include <pthread.h>

#include <atomic>
#include <new>

namespace {

// The mutex, and a mark of whether a thread holds it. The mark is only a hint
// for a waiter (when to try the mutex): the mutex alone decides who holds the
// lock and orders the memory.
struct QW_POSIX_LOCK
{
    pthread_mutex_t mtx;
    std::atomic<bool> bHeld;
};

static_assert(sizeof(QW_POSIX_LOCK) <= sizeof(QW_LOCK::abStorage), "QW_LOCK too small for a pthread mutex");
static_assert(alignof(QW_POSIX_LOCK) <= 8, "QW_LOCK aligned too loosely for a pthread mutex");

// Looks at a taken lock before the waiter sleeps in the mutex. A writer holds
// the lock for one write(2), a microsecond or two; a waiter that sleeps costs
// both threads a system call and the holder's wake-up. (Side by side, two
// threads writing entries into one object on two cores, normal priority: see
// docs/performance.md.) Windows' critical section does the same with its spin
// count.
const int LOCK_SPIN_LOOKS = 1000;

// The lock in pLock's storage.
QW_POSIX_LOCK* LockOf(QW_LOCK* pLock) { return reinterpret_cast<QW_POSIX_LOCK*>(pLock->abStorage); }

// Tells the processor that the thread is waiting in a loop (it gives the
// other hardware thread of its core the time, and draws less power).
#if defined(__x86_64__) || defined(__i386__)
inline void PauseLook() { __builtin_ia32_pause(); }
#elif defined(__aarch64__) || defined(__arm__)
inline void PauseLook() { __asm__ __volatile__("yield"); }
#else
inline void PauseLook() {}
#endif

} // namespace

// A mutex of the default kind: not recursive, and given back in a child of
// fork() by the thread that forked (ForkGuard), which a mutex that checks its
// owner would refuse there.
BOOL QwInitLock(QW_LOCK* pLock)
{
    QW_POSIX_LOCK* pPosix = new (pLock->abStorage) QW_POSIX_LOCK;
    pPosix->bHeld.store(false, std::memory_order_relaxed);
    return pthread_mutex_init(&pPosix->mtx, NULL) == 0 ? TRUE : FALSE;
}

void QwEnterLock(QW_LOCK* pLock)
{
    QW_POSIX_LOCK* pPosix = LockOf(pLock);
    for (int nLooks = 0; nLooks < LOCK_SPIN_LOOKS; ++nLooks) {
        if (!pPosix->bHeld.load(std::memory_order_relaxed) && pthread_mutex_trylock(&pPosix->mtx) == 0) {
            pPosix->bHeld.store(true, std::memory_order_relaxed);
            return;
        }
        PauseLook();
    }
    pthread_mutex_lock(&pPosix->mtx);
    pPosix->bHeld.store(true, std::memory_order_relaxed);
}

BOOL QwTryEnterLock(QW_LOCK* pLock)
{
    QW_POSIX_LOCK* pPosix = LockOf(pLock);
    if (pthread_mutex_trylock(&pPosix->mtx) != 0)
        return FALSE;
    pPosix->bHeld.store(true, std::memory_order_relaxed);
    return TRUE;
}

void QwLeaveLock(QW_LOCK* pLock)
{
    QW_POSIX_LOCK* pPosix = LockOf(pLock);
    pPosix->bHeld.store(false, std::memory_order_relaxed);
    pthread_mutex_unlock(&pPosix->mtx);
}

void QwDeleteLock(QW_LOCK* pLock)
{
    QW_POSIX_LOCK* pPosix = LockOf(pLock);
    pthread_mutex_destroy(&pPosix->mtx);
    pPosix->~QW_POSIX_LOCK();
}

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
