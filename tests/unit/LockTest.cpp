// The object's lock through the platform seam: one thread inside at a time,
// whether the holder lets go at once (a waiter gets in while it looks) or after
// a while (a waiter sleeps in the mutex); a try finds it taken while another
// thread holds it and free once that thread lets go; a sleeping waiter is let
// in once the holder lets go.
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
    int nTakes;   // per thread
    int nHoldUs;  // how long the holder stays inside (0: not at all)
    bool bTry;    // take it by trying until a try succeeds
};

// Runs the case and gives the takes that found another thread inside; counts
// every take in nCounted, a plain counter only the holder touches.
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
                if (c.bTry) {
                    while (!QwTryEnterLock(&lock))
                        std::this_thread::yield();
                } else {
                    QwEnterLock(&lock);
                }
                if (nInside.fetch_add(1) != 0)
                    ++nOverlaps;
                ++nCounted;
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

TEST_F(LockTest, OneThreadInsideAtATime)
{
    const QW_LOCK_CASE cases[] = {
        { "two threads, short holds", 2, 20000, 0, false },
        { "four threads, short holds", 4, 10000, 0, false },
        { "three threads, holds of 200 us", 3, 100, 200, false },
        { "four threads taking it by tries", 4, 5000, 0, true },
        { "one thread alone", 1, 1000, 0, false },
    };
    for (const QW_LOCK_CASE& c : cases) {
        SCOPED_TRACE(c.pszWhat);
        QW_LOCK lock;
        ASSERT_TRUE(QwInitLock(&lock));
        long long nCounted = 0;
        EXPECT_EQ(0, RunLockCase(c, lock, nCounted));
        EXPECT_EQ((long long)c.nThreads * c.nTakes, nCounted);
        QwDeleteLock(&lock);
    }
}

TEST_F(LockTest, ATryFailsWhileAnotherThreadHoldsItAndAWaiterGetsInOnceItIsLetGo)
{
    QW_LOCK lock;
    ASSERT_TRUE(QwInitLock(&lock));
    std::atomic<int> nStage(0);
    QwEnterLock(&lock);
    std::thread waiter([&]() {
        EXPECT_EQ(FALSE, QwTryEnterLock(&lock));
        nStage = 1;
        QwEnterLock(&lock);
        nStage = 2;
        QwLeaveLock(&lock);
    });
    while (nStage.load() != 1)
        std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(1, nStage.load());  // 20 ms: past the looks, the waiter sleeps in the mutex
    QwLeaveLock(&lock);
    // A lost wake-up shows as a waiter still outside after the bound.
    const auto tBound = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (nStage.load() != 2 && std::chrono::steady_clock::now() < tBound)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_EQ(2, nStage.load()) << "the sleeping waiter was not let in within 10 s of the lock's release";
    waiter.join();
    ASSERT_EQ(TRUE, QwTryEnterLock(&lock));  // free again
    QwLeaveLock(&lock);
    QwDeleteLock(&lock);
}
