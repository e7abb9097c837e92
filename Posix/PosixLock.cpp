// The POSIX lock: a recursive lock of the library's own on futex words.
//
// A thread that finds it taken watches it with plain reads and takes it the
// moment it is let go, yielding its time slice between looks after the first
// thousand; after nSpin looks (1,400 at the most) it sleeps until woken, then
// watches again. The
// holder lets go with a plain store, no locked instruction, so two threads
// writing into one object take turns within nanoseconds. (Measured on two
// cores, two threads writing entries into one object: a recursive pthread
// mutex tried between pauses, 0.6 times as fast, the same thread taking it
// again and again while the other spun; a release by an atomic exchange, 0.8.)
//
// Why no sleeper misses its wake-up although the release is a plain store
// followed by a plain read of the sleepers' count (which the processor may
// reorder): a thread going to sleep first counts itself in, then makes every
// running thread of the process pass a full memory barrier (membarrier). A
// holder that let go before that barrier has its store seen by the sleeper,
// which then takes the lock instead of sleeping; one that lets go after it
// reads the count with the sleeper in it and wakes one. Where the system has
// no such barrier, sleepers wake by themselves every millisecond to look
// again, so a missed wake-up costs at most that.
#include "../LogClass/Platform.h"

#include <linux/futex.h>
#include <linux/membarrier.h>
#include <pthread.h>
#include <sched.h>
#include <stdint.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <new>

namespace {

enum { LOCK_FREE = 0, LOCK_TAKEN = 1 };
const uintptr_t QW_CACHE_LINE = 64;
// Looks at a taken lock before each further look yields the time slice (some
// microseconds: a write of an entry or a small dump is over by then), and
// looks before a waiter sleeps at the most, whatever spin it was made with:
// with 400 yields they take from 0.1 to 1 ms, longer than most writes, and a
// holder that keeps the lock longer (a sync, a slow disk) should not keep its
// waiters burning a processor.
const unsigned int QUICK_LOOKS = 1000;
const unsigned int MAX_LOOKS = QUICK_LOOKS + 400;
// How long a sleeper sleeps before it looks again by itself: long where the
// barrier makes every wake-up sure, short where it does not.
const long SURE_SLEEP_NS = 100 * 1000 * 1000L;
const long UNSURE_SLEEP_NS = 1000 * 1000L;

// What a QW_LOCK holds on POSIX, in two cache lines of its storage: the line
// every take and release writes, and the line of the sleepers, which a release
// only reads (in the holder's line, that read would take the line back from the
// next holder on every release).
struct CPosixLock
{
    std::atomic<int> nWord;
    unsigned int nDepth;            // the holder's takes; read and changed by the holder alone
    std::atomic<uintptr_t> nOwner;  // the holder's thread, 0 when free
    unsigned int nSpin;
    alignas(QW_CACHE_LINE) std::atomic<int> nSleepers;  // sleepers not yet woken (or a few too many)
    std::atomic<int> nWakes;        // wake-ups sent: the word sleepers sleep on
};

static_assert(sizeof(CPosixLock) + QW_CACHE_LINE - 8 <= sizeof(QW_LOCK::abStorage), "QW_LOCK too small for the lock");
static_assert(sizeof(std::atomic<int>) == sizeof(int), "the futex word must be a plain int");

// The lock in pLock's storage, at its first cache line boundary (the storage
// itself is only 8-byte aligned: the object that holds it may come from a
// host's allocator).
CPosixLock* LockOf(QW_LOCK* pLock)
{
    uintptr_t nAt = ((uintptr_t)pLock->abStorage + QW_CACHE_LINE - 1) & ~(uintptr_t)(QW_CACHE_LINE - 1);
    return reinterpret_cast<CPosixLock*>(nAt);
}

// The calling thread, told from every other live one; never 0.
uintptr_t ThisThread() { return (uintptr_t)pthread_self(); }

// TRUE once the process may make every running thread pass a barrier: asked
// for on the first call, by whichever thread comes first.
bool BarrierRegistered()
{
    static const bool s_bRegistered = syscall(SYS_membarrier, MEMBARRIER_CMD_REGISTER_PRIVATE_EXPEDITED, 0, 0) == 0;
    return s_bRegistered;
}

// Every running thread of the process passes a full memory barrier before this
// returns TRUE; FALSE when the system cannot do that.
bool BarrierForAll()
{
    return BarrierRegistered() && syscall(SYS_membarrier, MEMBARRIER_CMD_PRIVATE_EXPEDITED, 0, 0) == 0;
}

// Sleeps while the word holds nValue, for nNs at the most (or until a wake-up
// or a signal).
void SleepOn(std::atomic<int>& nWord, int nValue, long nNs)
{
    struct timespec ts = { nNs / 1000000000L, nNs % 1000000000L };
    syscall(SYS_futex, reinterpret_cast<int*>(&nWord), FUTEX_WAIT_PRIVATE, nValue, &ts, NULL, 0);
}

// Wakes one sleeper, when one is counted: takes it off the count first, so
// later releases do not wake it again while it waits for a processor.
void WakeSleeper(CPosixLock* p)
{
    int n = p->nSleepers.load(std::memory_order_relaxed);
    while (n > 0 && !p->nSleepers.compare_exchange_weak(n, n - 1))
        ;
    if (n == 0)
        return;
    p->nWakes.fetch_add(1);
    syscall(SYS_futex, reinterpret_cast<int*>(&p->nWakes), FUTEX_WAKE_PRIVATE, 1, NULL, NULL, 0);
}

// One try at a lock: TRUE when it was free and is now the caller's.
bool TryTake(CPosixLock* p)
{
    int nWord = p->nWord.load(std::memory_order_relaxed);
    return nWord == LOCK_FREE && p->nWord.compare_exchange_strong(nWord, LOCK_TAKEN, std::memory_order_acquire);
}

// Sleeps until the lock is let go or a while has passed (see the comment at
// the top); TRUE when it took the lock on the way. The sleeper counts itself
// in and sleeps on the count of wake-ups sent, so a wake-up sent before it is
// asleep still ends its sleep. Only a release that wakes someone takes a
// sleeper off the count: one that took the lock or woke by its own time stays
// counted, which costs a later release one wake-up of no one, never a missed
// one (a sleeper taking itself off could take off another's count instead).
bool SleepUntilFree(CPosixLock* p)
{
    const int nWakes = p->nWakes.load();
    p->nSleepers.fetch_add(1);
    const long nNs = BarrierForAll() ? SURE_SLEEP_NS : UNSURE_SLEEP_NS;
    if (TryTake(p))
        return true;
    SleepOn(p->nWakes, nWakes, nNs);
    return false;
}

// Takes a lock another thread held a moment ago: watches it for nSpin looks,
// then sleeps until it is let go, and watches it again. Returns holding it. A
// thread woken goes back to watching, so the holder's later releases do not
// each pay a wake-up while a sleeper would lose the race to a watcher anyway.
void TakeContended(CPosixLock* p)
{
    for (;;) {
        const unsigned int nLooks = p->nSpin < MAX_LOOKS ? p->nSpin : MAX_LOOKS;
        for (unsigned int nLook = 0; nLook < nLooks; ++nLook) {
            if (TryTake(p))
                return;
            if (nLook >= QUICK_LOOKS)
                sched_yield();
        }
        if (SleepUntilFree(p))
            return;
    }
}

} // namespace

BOOL QwInitLock(QW_LOCK* pLock, unsigned int nSpin)
{
    CPosixLock* p = new (LockOf(pLock)) CPosixLock;
    p->nWord.store(LOCK_FREE, std::memory_order_relaxed);
    p->nSleepers.store(0, std::memory_order_relaxed);
    p->nWakes.store(0, std::memory_order_relaxed);
    p->nOwner.store(0, std::memory_order_relaxed);
    p->nDepth = 0;
    p->nSpin = nSpin;
    return TRUE;
}

void QwEnterLock(QW_LOCK* pLock)
{
    CPosixLock* p = LockOf(pLock);
    const uintptr_t nThread = ThisThread();
    // Only this thread ever stores its own mark, so seeing it means it holds the lock.
    if (p->nOwner.load(std::memory_order_relaxed) == nThread) {
        ++p->nDepth;
        return;
    }
    int nFree = LOCK_FREE;
    if (!p->nWord.compare_exchange_strong(nFree, LOCK_TAKEN, std::memory_order_acquire))
        TakeContended(p);
    p->nOwner.store(nThread, std::memory_order_relaxed);
    p->nDepth = 1;
}

void QwLeaveLock(QW_LOCK* pLock)
{
    CPosixLock* p = LockOf(pLock);
    if (--p->nDepth != 0)
        return;
    p->nOwner.store(0, std::memory_order_relaxed);
    p->nWord.store(LOCK_FREE, std::memory_order_release);
    // The count is read after the store in the program's order; the sleeper's
    // barrier covers what the processor may reorder.
    std::atomic_signal_fence(std::memory_order_seq_cst);
    if (p->nSleepers.load(std::memory_order_relaxed) != 0)
        WakeSleeper(p);
}

void QwDeleteLock(QW_LOCK* pLock) { LockOf(pLock)->~CPosixLock(); }

BOOL QwGatherAppends(void) { return FALSE; }
