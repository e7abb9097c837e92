// The POSIX lock: a recursive pthread mutex in the lock's storage, with the
// spin of a Windows critical section before a thread sleeps on it.
#include "../LogClass/Platform.h"

#include <pthread.h>

#include <new>

namespace {

// What a QW_LOCK holds on POSIX.
struct CPosixLock
{
    pthread_mutex_t mtx;
    unsigned int nSpin;
};

static_assert(sizeof(CPosixLock) <= sizeof(QW_LOCK::abStorage), "QW_LOCK too small for a pthread mutex");
static_assert(alignof(CPosixLock) <= 8, "QW_LOCK aligned too loosely for a pthread mutex");

// The mutex made in pLock's storage.
CPosixLock* LockOf(QW_LOCK* pLock) { return reinterpret_cast<CPosixLock*>(pLock->abStorage); }

} // namespace

BOOL QwInitLock(QW_LOCK* pLock, unsigned int nSpin)
{
    CPosixLock* pPosix = new (pLock->abStorage) CPosixLock;
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    int nResult = pthread_mutex_init(&pPosix->mtx, &attr);
    pthread_mutexattr_destroy(&attr);
    pPosix->nSpin = nSpin;
    return nResult == 0 ? TRUE : FALSE;
}

void QwEnterLock(QW_LOCK* pLock)
{
    CPosixLock* pPosix = LockOf(pLock);
    // A few pauses between tries, so the spinning thread does not keep taking
    // the lock's cache line from the thread that holds it.
    for (unsigned int n = 0; n < pPosix->nSpin; n += 8) {
        if (pthread_mutex_trylock(&pPosix->mtx) == 0)
            return;
        for (int i = 0; i < 8; ++i)
            QwCpuRelax();
    }
    pthread_mutex_lock(&pPosix->mtx);
}

void QwLeaveLock(QW_LOCK* pLock) { pthread_mutex_unlock(&LockOf(pLock)->mtx); }

void QwDeleteLock(QW_LOCK* pLock) { pthread_mutex_destroy(&LockOf(pLock)->mtx); }
