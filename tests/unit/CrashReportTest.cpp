// [LOG] CRASH=1: the crash entry's layout (stamp forms, names and codes, frames
// with and without a module or symbol, an entry cut to its buffer), the local
// offset, and which objects make the library install and remove its handler.
// The crashes themselves are the crash suite's (tests/suites/crash.sh).
#include "Support.h"

#include "CrashReport.h"

#include <string.h>

using namespace qwtest;

namespace {

const QW_CRASH_FRAME s_aFrames[] = {
    { 0x401234, "host", 4, 0x1234, NULL, 0, 0 },
    { 0x7f0000, "Quillwork.dll", 13, 0x2a0, "CreateLogObject", 15, 0x10 },
    { 0xdead, NULL, 0, 0, NULL, 0, 0 },
};

QW_CRASH_FACTS Facts(const char* pszName, unsigned long nCode, const char* pszDetail, bool bAddress, size_t nFrames)
{
    QW_CRASH_FACTS facts;
    memset(&facts, 0, sizeof(facts));
    facts.pszName = pszName;
    facts.nCode = nCode;
    facts.pszDetail = pszDetail;
    facts.bAddress = bAddress;
    facts.nAddress = 0x10;
    facts.nThread = 4711;
    facts.pFrames = s_aFrames;
    facts.nFrames = nFrames;
    return facts;
}

QW_CLOCK_READING Reading(long nNanos)
{
    QW_CLOCK_READING now;
    now.tSeconds = Utc(2024, 2, 29, 23, 59, 58);
    now.nNanos = nNanos;
    return now;
}

std::string LaidOut(const QW_CRASH_FACTS& facts, const QW_CLOCK_READING& now, int nDigits, size_t nSize = 4096,
                    bool bThread = false)
{
    std::vector<char> buf(nSize);
    size_t nLen = CCrashReport::LayOut(buf.data(), buf.size(), facts, now, nDigits, bThread);
    return std::string(buf.data(), nLen);
}

struct LAYOUT_CASE
{
    const char* pszWhat;
    QW_CRASH_FACTS facts;
    int nDigits;
    bool bThread;
    long nNanos;
    const char* pszExpected;
};

class CrashReportTest : public QwTest
{
protected:
    void Configure(const char* pszIni) { WriteWhole(Host() + SEP + "Quillwork.ini", pszIni); }
};

} // namespace

TEST_F(CrashReportTest, LaysOutEveryFormOfTheEntry)
{
    const LAYOUT_CASE aCases[] = {
        { "signal with detail and address, seconds", Facts("SIGSEGV", 11, "address not mapped", true, 0), 0, false, 999999999,
          "2024-02-29 23:59:58  CRASH SIGSEGV (11) address not mapped at address 0x10 in thread 4711\r\n\r\n" },
        { "no address, milliseconds truncated", Facts("SIGABRT", 6, NULL, false, 0), 3, false, 999999999,
          "2024-02-29 23:59:58.999  CRASH SIGABRT (6) in thread 4711\r\n\r\n" },
        { "exception code in hex, microseconds with zeros", Facts("EXCEPTION_ACCESS_VIOLATION", 0xC0000005UL, "writing", true, 0),
          6, false, 5000, "2024-02-29 23:59:58.000005  CRASH EXCEPTION_ACCESS_VIOLATION (0xc0000005) writing at address 0x10 in thread 4711\r\n\r\n" },
        { "frames: module, module and symbol, bare address", Facts("SIGFPE", 8, NULL, true, 3), 0, false, 0,
          "2024-02-29 23:59:58  CRASH SIGFPE (8) at address 0x10 in thread 4711\r\n"
          "    #0 host+0x1234\r\n"
          "    #1 Quillwork.dll+0x2a0 CreateLogObject+0x10\r\n"
          "    #2 0xdead\r\n\r\n" },
        { "no name", Facts(NULL, 99, NULL, false, 0), 0, false, 0, "2024-02-29 23:59:58  CRASH unknown (99) in thread 4711\r\n\r\n" },
        { "THREAD=1: the id after the stamp", Facts("SIGILL", 4, NULL, false, 0), 3, true, 7000000,
          "2024-02-29 23:59:58.007 [4711]  CRASH SIGILL (4) in thread 4711\r\n\r\n" },
    };
    for (const LAYOUT_CASE& c : aCases)
        EXPECT_EQ(c.pszExpected, LaidOut(c.facts, Reading(c.nNanos), c.nDigits, 4096, c.bThread)) << c.pszWhat;
}

TEST_F(CrashReportTest, CutEntryEndsAtItsLastWholeLine)
{
    const QW_CRASH_FACTS facts = Facts("SIGSEGV", 11, NULL, true, 3);
    const std::string strWhole = LaidOut(facts, Reading(0), 0);
    const size_t nFirstFrameEnd = strWhole.find("\r\n    #1");
    ASSERT_NE(std::string::npos, nFirstFrameEnd);
    // Room for the head and the first frame, part of the second.
    const std::string strCut = LaidOut(facts, Reading(0), 0, nFirstFrameEnd + 10 + 4);
    EXPECT_EQ(strWhole.substr(0, nFirstFrameEnd) + "\r\n\r\n", strCut);
    // Every size ends as an entry and never overruns the buffer.
    for (size_t nSize = 0; nSize <= strWhole.size() + 1; ++nSize) {
        std::string str = LaidOut(facts, Reading(0), 0, nSize);
        ASSERT_LE(str.size(), nSize);
        if (nSize >= 4)
            EXPECT_EQ("\r\n\r\n", str.substr(str.size() - 4)) << nSize;
    }
}

TEST_F(CrashReportTest, UtcOffsetFollowsTheLocalTime)
{
    // The fixture runs in UTC.
    EXPECT_EQ(0, CCrashReport::UtcOffset(Utc(2024, 7, 1, 12, 0, 0)));
}

TEST_F(CrashReportTest, HandlerFollowsTheObjectsThatAskForIt)
{
    ASSERT_FALSE(QwCrashHandlerActive());
    Configure("[LOG]\r\nCRASH=0\r\n");
    {
        LogPtr off = NewLog();
        ASSERT_TRUE(off->Open("Off"));
        EXPECT_FALSE(QwCrashHandlerActive()) << "CRASH=0 installs nothing";
        EXPECT_EQ(0u, CCrashReport::Watched());
    }
    Configure("[LOG]\r\nCRASH=1\r\n");
    LogPtr first = NewLog(), second = NewLog();
    EXPECT_FALSE(QwCrashHandlerActive()) << "installed only when a file opens";
    ASSERT_TRUE(first->Open("First"));
    EXPECT_TRUE(QwCrashHandlerActive());
    ASSERT_TRUE(second->Open("Second"));
    EXPECT_EQ(2u, CCrashReport::Watched());
    first->Close();
    EXPECT_TRUE(QwCrashHandlerActive()) << "the second still watches";
    second.reset();
    EXPECT_FALSE(QwCrashHandlerActive()) << "the last Release removes it";
    EXPECT_EQ(0u, CCrashReport::Watched());
    ASSERT_TRUE(first->Open("Again"));
    EXPECT_TRUE(QwCrashHandlerActive()) << "a file opened again installs it again";
}

TEST_F(CrashReportTest, ReportAppendsOneEntryToEveryWatchedFile)
{
    Configure("[LOG]\r\nCRASH=1\r\nSTAMP=MS\r\n");
    LogPtr a = NewLog(), b = NewLog();
    ASSERT_TRUE(a->Open("A"));
    ASSERT_TRUE(b->Open("B"));
    a->WriteLog("before");
    QW_CRASH_FACTS facts = Facts("SIGSEGV", 11, NULL, true, 1);
    facts.bLock = true;
    CCrashReport::Report(facts);
    a->WriteLog("after");  // the lock was given back (bHold not set)
    std::vector<std::string> files = LogFiles();
    ASSERT_EQ(2u, files.size());
    const std::string strEntry = "  CRASH SIGSEGV (11) at address 0x10 in thread 4711\r\n    #0 host+0x1234\r\n\r\n";
    for (const std::string& strFile : files) {
        std::string strText = ReadLogFile(strFile);
        size_t nAt = strText.find(strEntry);
        ASSERT_NE(std::string::npos, nAt) << strFile;
        EXPECT_EQ(std::string::npos, strText.find(strEntry, nAt + 1)) << "one entry per file";
        // The object's stamp form: milliseconds.
        ASSERT_GE(nAt, 23u);
        EXPECT_EQ('.', strText[nAt - 4]) << strText;
    }
}
