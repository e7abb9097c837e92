// The object's lock through the platform seam: one thread inside at a time,
// taken again by its holder as often as it likes, and handed on to waiters that
// watch it, yield or sleep, whether the holder lets go at once or after a while.
#include "Support.h"

#include "Platform.h"

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

using namespace qwtest;

namespace {

class LockTest : public ::testing::Test {};

struct QW_LOCK_CASE
{
    const char* pszWhat;
    int nThreads;
    unsigned int nSpin;  // looks before a waiter sleeps
    int nTakes;          // per thread
    int nDepth;          // takes of the lock nested in each other
    int nHoldUs;         // how long the holder stays inside (0: not at all)
};

// Runs the case and gives the takes that found another thread inside; counts
// every take in nCounted, a plain int only the holder touches.
int RunLockCase(const QW_LOCK_CASE& c, QW_LOCK& lock, long long& nCounted)
{
    std::atomic<int> nInside(0), nOverlaps(0), nReady(0);
    std::vector<std::thread> threads;
    for (int t = 0; t < c.nThreads; ++t)
        threads.emplace_back([&]() {
            ++nReady;
            while (nReady.load() < c.nThreads)
                std::this_thread::yield();
            for (int i = 0; i < c.nTakes; ++i) {
                QwEnterLock(&lock);
                if (nInside.fetch_add(1) != 0)
                    ++nOverlaps;
                for (int d = 1; d < c.nDepth; ++d)
                    QwEnterLock(&lock);
                ++nCounted;
                for (int d = 1; d < c.nDepth; ++d) {
                    QwLeaveLock(&lock);  // still held: the outermost take is not given back yet
                    ++nCounted;
                }
                if (c.nHoldUs > 0)
                    std::this_thread::sleep_for(std::chrono::microseconds(c.nHoldUs));
                nInside.fetch_sub(1);
                QwLeaveLock(&lock);
            }
        });
    for (std::thread& th : threads)
        th.join();
    return nOverlaps.load();
}

} // namespace

TEST_F(LockTest, OneThreadInsideAtATimeHowEverTheWaitersWait)
{
    const QW_LOCK_CASE cases[] = {
        { "two threads, short holds, the object's spin", 2, 4000, 20000, 1, 0 },
        { "four threads, short holds, the object's spin", 4, 4000, 10000, 1, 0 },
        { "four threads, taken three deep", 4, 4000, 5000, 3, 0 },
        { "waiters sleep at once (no spin)", 4, 0, 2000, 1, 0 },
        { "waiters sleep at once, holds of 200 us", 3, 0, 100, 2, 200 },
        { "a short spin, holds of 50 us", 4, 16, 200, 1, 50 },
        { "one thread alone, taken deep", 1, 4000, 1000, 5, 0 },
    };
    for (const QW_LOCK_CASE& c : cases) {
        SCOPED_TRACE(c.pszWhat);
        QW_LOCK lock;
        ASSERT_TRUE(QwInitLock(&lock, c.nSpin));
        long long nCounted = 0;
        EXPECT_EQ(0, RunLockCase(c, lock, nCounted));
        EXPECT_EQ((long long)c.nThreads * c.nTakes * c.nDepth, nCounted);
        QwDeleteLock(&lock);
    }
}

TEST_F(LockTest, AWaiterGetsInOnceTheHolderLetsGoOfItsLastTake)
{
    QW_LOCK lock;
    ASSERT_TRUE(QwInitLock(&lock, 0));
    std::atomic<int> nStage(0);
    QwEnterLock(&lock);
    QwEnterLock(&lock);
    std::thread waiter([&]() {
        nStage = 1;
        QwEnterLock(&lock);  // sleeps: no spin
        nStage = 2;
        QwLeaveLock(&lock);
    });
    while (nStage.load() != 1)
        std::this_thread::yield();
    QwLeaveLock(&lock);  // one take left: the waiter stays out
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(1, nStage.load());
    QwLeaveLock(&lock);
    waiter.join();
    EXPECT_EQ(2, nStage.load());
    // Free again: this thread takes it at once.
    QwEnterLock(&lock);
    QwLeaveLock(&lock);
    QwDeleteLock(&lock);
}
