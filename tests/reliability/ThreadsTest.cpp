// Eight threads on one object, mixing entries and dumps; the file read back
// must hold every call's entry whole, each thread's in order, stamps never
// going backwards.
#include "Support.h"

#include <chrono>
#include <map>
#include <thread>

using namespace qwrel;

namespace {

class ThreadsTest : public RelTest {};

const int THREADS = 8;

} // namespace

TEST_F(ThreadsTest, MixedEntriesAndDumpsArriveWholeCountedAndInOrder)
{
    const long nCalls = SizeFromEnv("QW_REL_CALLS", 10000, 100000);
    ILogObject* pLog = CreateLogObject(0);
    ASSERT_TRUE(pLog != NULL);
    ASSERT_EQ(TRUE, pLog->Open("threads"));
    std::chrono::steady_clock::time_point tStart = std::chrono::steady_clock::now();
    std::vector<std::thread> threads;
    for (int t = 0; t < THREADS; ++t)
        threads.emplace_back([pLog, t, nCalls]() {
            for (long i = 0; i < nCalls; ++i)
                WriteNumbered(pLog, t, (int)i);
        });
    for (size_t i = 0; i < threads.size(); ++i)
        threads[i].join();
    double dSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - tStart).count();
    pLog->Release();

    SplitFile split = SplitLog(ReadWhole(TheFile()));
    EXPECT_TRUE(split.bBanner);
    EXPECT_EQ("", split.strTail.substr(0, 200)) << "unterminated text at the end";
    std::map<int, long> next;
    std::string strLastStamp;
    size_t nBroken = 0, nOutOfOrder = 0, nBackwards = 0;
    for (size_t i = 0; i < split.entries.size(); ++i) {
        int nThread = -1, nNumber = -1;
        std::string strStamp;
        if (!ReadNumbered(split.entries[i], nThread, nNumber, strStamp) || nThread < 0 || nThread >= THREADS) {
            if (nBroken++ == 0)
                ADD_FAILURE() << "split or broken entry " << i << ": " << split.entries[i].substr(0, 300);
            continue;
        }
        if (nNumber != next[nThread]++)
            ++nOutOfOrder;
        if (strStamp < strLastStamp)
            ++nBackwards;
        strLastStamp = strStamp;
    }
    EXPECT_EQ(0u, nBroken);
    EXPECT_EQ(0u, nOutOfOrder);
    EXPECT_EQ(0u, nBackwards);
    for (int t = 0; t < THREADS; ++t)
        EXPECT_EQ(nCalls, next[t]) << "entries of thread " << t;
    Figure("threads: " + std::to_string(THREADS) + " x " + std::to_string(nCalls) + " calls, "
           + std::to_string(split.entries.size()) + " entries read back, " + std::to_string(nBroken) + " split, "
           + std::to_string(nOutOfOrder) + " lost or out of order, " + std::to_string(nBackwards)
           + " stamps backwards, " + std::to_string((long)(dSeconds * 1000)) + " ms");
}
