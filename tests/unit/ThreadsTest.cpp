// One object written from many threads: every entry lands whole.
#include "Support.h"

#include <string.h>

#include <atomic>
#include <map>
#include <regex>
#include <thread>

using namespace qwtest;

namespace {

class ThreadTest : public QwTest
{
protected:
    void SetUp()
    {
        QwTest::SetUp();
        QwSetClock(NULL);  // the real clock: stamps come from the threads' own moments
    }

    // The one log file the object made, below whichever day folder the real date gave.
    std::string TheFile()
    {
        std::vector<std::string> days = ListDir(LogRoot());
        if (days.size() != 1)
            return "<" + std::to_string(days.size()) + " day folders>";
        std::vector<std::string> files = ListDir(LogRoot() + "/" + days[0]);
        if (files.size() != 1)
            return "<" + std::to_string(files.size()) + " files>";
        return ReadWhole(LogRoot() + "/" + days[0] + "/" + files[0]);
    }

    // Splits the file into entries; every one must read "<stamp>  t<thread> n<i>".
    // Gives the numbers per thread in file order; fails the test on any broken entry.
    std::map<int, std::vector<int> > Entries(const std::string& strFile)
    {
        std::map<int, std::vector<int> > numbers;
        EXPECT_EQ(0u, strFile.compare(0, strlen(BANNER), BANNER));
        const std::regex entry("(\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d)  t(\\d+) n(\\d+)");
        std::string strLastStamp;
        size_t nPos = strlen(BANNER);
        while (nPos < strFile.size()) {
            size_t nEnd = strFile.find("\r\n\r\n", nPos);
            if (nEnd == std::string::npos) {
                ADD_FAILURE() << "unterminated entry at " << nPos;
                break;
            }
            std::string strEntry = strFile.substr(nPos, nEnd - nPos);
            std::smatch m;
            if (!std::regex_match(strEntry, m, entry)) {
                ADD_FAILURE() << "broken entry: " << strEntry;
                break;
            }
            EXPECT_LE(strLastStamp, m[1].str());
            strLastStamp = m[1].str();
            numbers[std::stoi(m[2].str())].push_back(std::stoi(m[3].str()));
            nPos = nEnd + 4;
        }
        return numbers;
    }
};

const int THREADS = 8;
const int ENTRIES = 10000;

} // namespace

TEST_F(ThreadTest, EveryEntryArrivesWholeAndInOrder)
{
    LogPtr log = NewLog();
    ASSERT_EQ(TRUE, log->Open("threads"));
    std::vector<std::thread> threads;
    for (int t = 0; t < THREADS; ++t)
        threads.emplace_back([&log, t]() {
            for (int i = 0; i < ENTRIES; ++i)
                log->WriteLog("t%d n%d", t, i);
        });
    for (std::thread& th : threads)
        th.join();
    std::map<int, std::vector<int> > numbers = Entries(TheFile());
    ASSERT_EQ((size_t)THREADS, numbers.size());
    for (int t = 0; t < THREADS; ++t) {
        SCOPED_TRACE(t);
        ASSERT_EQ((size_t)ENTRIES, numbers[t].size());
        for (int i = 0; i < ENTRIES; ++i)
            ASSERT_EQ(i, numbers[t][i]);
    }
}

TEST_F(ThreadTest, CloseWhileOthersWriteLeavesOnlyWholeEntries)
{
    LogPtr log = NewLog();
    ASSERT_EQ(TRUE, log->Open("closing"));
    std::atomic<int> nWritten(0);
    std::vector<std::thread> threads;
    for (int t = 0; t < THREADS - 1; ++t)
        threads.emplace_back([&log, &nWritten, t]() {
            for (int i = 0; i < ENTRIES; ++i) {
                log->WriteLog("t%d n%d", t, i);
                ++nWritten;
            }
        });
    threads.emplace_back([&log, &nWritten]() {
        while (nWritten.load() < 500)
            std::this_thread::yield();
        log->Close();
    });
    for (std::thread& th : threads)
        th.join();
    std::map<int, std::vector<int> > numbers = Entries(TheFile());
    size_t nTotal = 0;
    for (std::map<int, std::vector<int> >::iterator it = numbers.begin(); it != numbers.end(); ++it) {
        ASSERT_LT(it->first, THREADS - 1);
        // A thread's entries stop at the close: what is there is 0, 1, 2, ... unbroken.
        for (size_t i = 0; i < it->second.size(); ++i)
            ASSERT_EQ((int)i, it->second[i]) << "thread " << it->first;
        nTotal += it->second.size();
    }
    EXPECT_GE(nTotal, 500u);
    EXPECT_LT(nTotal, (size_t)(THREADS - 1) * ENTRIES);
}
