// How entries reach the file: each stamp from the one clock reading its entry
// takes, every dump in one write whatever its size, so that writers sharing a
// file never split each other's dumps, and the file before the console.
#include "Support.h"

#include <string.h>

#include <atomic>
#include <functional>
#include <thread>

using namespace qwtest;

namespace {

class OutputTest : public QwTest {};

// A clock that gives the next of its readings at each call, then the last one.
std::vector<time_t> s_readings;
std::atomic<size_t> s_nReading(0);

time_t ScriptedClock(void)
{
    size_t n = s_nReading++;
    return s_readings[n < s_readings.size() ? n : s_readings.size() - 1];
}

std::vector<unsigned char> Pattern(size_t nSize, unsigned char nSeed)
{
    std::vector<unsigned char> data(nSize);
    for (size_t i = 0; i < nSize; ++i)
        data[i] = (unsigned char)(i * 7 + nSeed);
    return data;
}

} // namespace

TEST_F(OutputTest, EachStampIsTheSecondItsEntryRead)
{
    // Forward a second, forward again, a step back, then a second twice:
    // a stamp made from a later reading than the entry's own shows the wrong second.
    const time_t t = Utc(2024, 5, 1, 9, 3, 7);
    s_readings = { t, t + 1, t + 2, t, t + 5, t + 5 };
    LogPtr log = NewLog();
    ASSERT_EQ(TRUE, log->Open("clock"));
    s_nReading = 0;
    QwSetClock(&ScriptedClock);
    const char* const apszExpected[] = { "09:03:07", "09:03:08", "09:03:09", "09:03:07", "09:03:12", "09:03:12" };
    for (size_t i = 0; i < s_readings.size(); ++i)
        log->WriteLog("entry %d", (int)i);
    log.reset();
    std::string strFile = OnlyFileText(Day());
    std::string strExpected = BANNER;
    for (size_t i = 0; i < s_readings.size(); ++i)
        strExpected += std::string("2024-05-01 ") + apszExpected[i] + "  entry " + std::to_string(i) + "\r\n\r\n";
    EXPECT_EQ(strExpected, strFile);
    EXPECT_EQ(s_readings.size(), s_nReading.load()) << "one clock reading per entry";
}

TEST_F(OutputTest, TwoObjectsDumpingToOneFileNeverSplitADump)
{
    const size_t nDumps = 12;
    const std::vector<unsigned char> a = Pattern(20000, 1), b = Pattern(20000, 2);
    LogPtr logA = NewLog(), logB = NewLog();
    ASSERT_EQ(TRUE, logA->Open("shared"));
    ASSERT_EQ(TRUE, logB->Open("shared"));  // the same second: the same file
    std::string strBefore = OnlyFileText(Day());
    // Each dump's text, as one object alone writes it.
    ASSERT_EQ(TRUE, logA->WriteHex(&a[0], (unsigned int)a.size(), TRUE, TRUE));
    std::string strDumpA = OnlyFileText(Day()).substr(strBefore.size());
    ASSERT_EQ(TRUE, logB->WriteHex(&b[0], (unsigned int)b.size(), FALSE, TRUE));
    std::string strDumpB = OnlyFileText(Day()).substr(strBefore.size() + strDumpA.size());
    ASSERT_GT(strDumpA.size(), 32768u);

    std::thread threadA([&] { for (size_t i = 0; i < nDumps; ++i) logA->WriteHex(&a[0], (unsigned int)a.size(), TRUE, TRUE); });
    std::thread threadB([&] { for (size_t i = 0; i < nDumps; ++i) logB->WriteHex(&b[0], (unsigned int)b.size(), FALSE, TRUE); });
    threadA.join();
    threadB.join();
    logA.reset();
    logB.reset();
    std::string strFile = OnlyFileText(Day());
    size_t nPos = strBefore.size() + strDumpA.size() + strDumpB.size(), nA = 0, nB = 0;
    while (nPos < strFile.size()) {
        if (strFile.compare(nPos, strDumpA.size(), strDumpA) == 0) {
            ++nA;
            nPos += strDumpA.size();
        } else if (strFile.compare(nPos, strDumpB.size(), strDumpB) == 0) {
            ++nB;
            nPos += strDumpB.size();
        } else {
            ADD_FAILURE() << "a split dump at " << nPos << ": " << strFile.substr(nPos, 120);
            break;
        }
    }
    EXPECT_EQ(nDumps, nA);
    EXPECT_EQ(nDumps, nB);
}

namespace {

// The console table of the recorder, with its text writes watched: each notes
// how large the log file was when the console got its piece.
std::string s_strWatched;
std::vector<size_t> s_fileSizes;
QW_CONSOLE_API s_watching;

BOOL WatchedWrite(QW_OUTPUT hOut, const char* pszText, DWORD nCount)
{
    s_fileSizes.push_back(ReadWhole(s_strWatched).size());
    return ConsoleRecorder::Table()->WriteConsoleText(hOut, pszText, nCount);
}

} // namespace

TEST_F(OutputTest, TheFileHasTheWholeEntryBeforeTheConsoleGetsAPiece)
{
    s_watching = *ConsoleRecorder::Table();
    s_watching.WriteConsoleText = &WatchedWrite;
    QwSetConsoleApi(&s_watching);
    LogPtr log = NewLog();
    ASSERT_EQ(TRUE, log->ShowConsole(TRUE));
    ASSERT_EQ(TRUE, log->Open("first"));
    s_strWatched = Day() + SEP + "090307_first.log";
    const unsigned char data[40] = { 1, 2, 3 };
    struct { const char* pszName; std::function<void()> fnWrite; } cases[] = {
        { "entry", [&] { log->WriteLog("%d items", 3); } },
        { "dump", [&] { log->WriteHex(data, sizeof(data), TRUE, FALSE); } },
    };
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        SCOPED_TRACE(cases[i].pszName);
        s_fileSizes.clear();
        cases[i].fnWrite();
        size_t nAfter = ReadWhole(s_strWatched).size();
        ASSERT_FALSE(s_fileSizes.empty()) << "the console got the entry";
        EXPECT_EQ(std::vector<size_t>(s_fileSizes.size(), nAfter), s_fileSizes);
    }
    log.reset();
    QwSetConsoleApi(ConsoleRecorder::Table());
}
