// The console window on its own, and the text log's use of it.
#include "Support.h"

#include "WinConsole.h"

using namespace qwtest;

namespace {

class ConsoleTest : public QwTest {};

const std::string ATTR = "SetConsoleTextAttribute ", WRITE = "WriteConsoleA ";

// What Setup does, queries left out.
std::vector<std::string> SetupCalls()
{
    return { "SetConsoleScreenBufferSize 100,5000", "SetConsoleWindowInfo 1 0,0,99,25", ATTR + "7", "EnableMenuItem F060 1" };
}

std::vector<std::string> Join(std::vector<std::string> a, const std::vector<std::string>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

} // namespace

TEST_F(ConsoleTest, ClosedConsoleCallsNothing)
{
    CWinConsole console;
    console.Write("abc", 3);
    console.Printf("%d", 5);
    EXPECT_TRUE(console.GetOutput() == NULL);
    EXPECT_TRUE(console.GetHwnd() == NULL);
    EXPECT_TRUE(console.GetTitle() == NULL);
    EXPECT_EQ(FALSE, console.DisableClose(TRUE));
    EXPECT_EQ(TRUE, console.SetColor(4));
    console.Setup();
    EXPECT_EQ(TRUE, console.Show(FALSE));
    EXPECT_EQ(std::vector<std::string>(), ConsoleRecorder::All());
}

TEST_F(ConsoleTest, ShowTwiceAllocatesOnceAndSetsUpTwice)
{
    {
        CWinConsole console;
        EXPECT_EQ(TRUE, console.Show(TRUE));
        EXPECT_EQ(TRUE, console.Show(TRUE));
        EXPECT_EQ(Join(Join({ "AllocConsole" }, SetupCalls()), SetupCalls()), ConsoleRecorder::Effects());
        ConsoleRecorder::Reset();
    }
    // Leaving it open, the destructor does not free the process's console.
    EXPECT_EQ(std::vector<std::string>(), ConsoleRecorder::All());
}

TEST_F(ConsoleTest, OnlyAConsoleItMadeIsFreed)
{
    struct { BOOL bAllocated; std::vector<std::string> hideCalls; } cases[] = {
        { TRUE, { "FreeConsole" } },
        { FALSE, {} },  // the process already had a console: it stays
    };
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        SCOPED_TRACE(cases[i].bAllocated);
        ConsoleRecorder::Reset(cases[i].bAllocated);
        CWinConsole console;
        console.Show(TRUE);
        ConsoleRecorder::Reset(cases[i].bAllocated);
        EXPECT_EQ(TRUE, console.Show(FALSE));
        EXPECT_EQ(TRUE, console.Show(FALSE));
        EXPECT_EQ(cases[i].hideCalls, ConsoleRecorder::All());
    }
}

TEST_F(ConsoleTest, OpenConsoleWritesAndQueries)
{
    CWinConsole console;
    console.Show(TRUE);
    ConsoleRecorder::Reset();
    console.Write("abcdef", 3);
    console.Printf("<%d|%s>", 12, "x");
    EXPECT_EQ("abc<12|x>", ConsoleRecorder::Written());
    EXPECT_EQ(5, console.DisableClose(FALSE));
    EXPECT_EQ("EnableMenuItem F060 0", ConsoleRecorder::Effects().back());
    ASSERT_TRUE(console.GetTitle() != NULL);
    EXPECT_EQ(std::string("qw"), console.GetTitle());
    EXPECT_TRUE(console.GetOutput() != NULL);
    for (const std::string& str : ConsoleRecorder::All())
        EXPECT_EQ(std::string::npos, str.find("(wrong")) << str;
    console.Show(FALSE);
}

TEST_F(ConsoleTest, ConfiguredConsoleOpensAfterTheFirstBanner)
{
    WriteWhole(Host() + "/Quillwork.ini", "[CONSOLE]\nOPEN=1\n");
    LogPtr log = NewLog();
    ASSERT_EQ(TRUE, log->Open(NULL));
    EXPECT_EQ(Join({ "AllocConsole" }, SetupCalls()), ConsoleRecorder::Effects());
    EXPECT_EQ(BANNER, ReadWhole(Day() + "/090307.log"));
}

TEST_F(ConsoleTest, ShownBeforeOpenTheBannerIsMirrored)
{
    LogPtr log = NewLog();
    ASSERT_EQ(TRUE, log->ShowConsole(TRUE));
    EXPECT_EQ(TRUE, CTxtLogProbe::Console(log.get()));
    ConsoleRecorder::Reset();
    ASSERT_EQ(TRUE, log->Open(NULL));
    EXPECT_EQ(Join({ ATTR + "9", WRITE + "\r\n------\r\n", WRITE + "\r\n\r\n", ATTR + "7" }, SetupCalls()),
              ConsoleRecorder::Effects());
}

TEST_F(ConsoleTest, CloseHidesTheConsoleForTheNextOpen)
{
    WriteWhole(Host() + "/Quillwork.ini", "[CONSOLE]\nOPEN=1\n");
    LogPtr log = NewLog();
    ASSERT_EQ(TRUE, log->Open(NULL));
    ConsoleRecorder::Reset();
    ASSERT_EQ(TRUE, log->Close());
    EXPECT_EQ(std::vector<std::string>(1, "FreeConsole"), ConsoleRecorder::Effects());
    EXPECT_EQ(FALSE, CTxtLogProbe::Console(log.get()));
    ConsoleRecorder::Reset();
    ASSERT_EQ(TRUE, log->Open("again"));
    log->WriteLog("quiet");
    EXPECT_EQ(std::vector<std::string>(), ConsoleRecorder::All());
}

TEST_F(ConsoleTest, CloseWithoutFileFreesAShownConsole)
{
    LogPtr log = NewLog();
    log->ShowConsole(TRUE);
    ConsoleRecorder::Reset();
    EXPECT_EQ(TRUE, log->Close());
    EXPECT_EQ(std::vector<std::string>(1, "FreeConsole"), ConsoleRecorder::All());
    EXPECT_EQ(FALSE, CTxtLogProbe::Console(log.get()));
}

TEST_F(ConsoleTest, CountedTextGoesWholeToTheConsoleAndUpToAZeroToTheFile)
{
    struct { const char* pszText; unsigned int nLen; std::string strFile, strConsole; } cases[] = {
        { "abc", 0, "", "" },
        { "ab\0cd", 5, "ab", std::string("ab\0cd", 5) },
        { "abcdef", 4, "abcd", "abcd" },
    };
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        SCOPED_TRACE(i);
        RemoveTree(LogRoot());
        LogPtr log = NewLog();
        ASSERT_EQ(TRUE, log->Open(NULL));
        log->ShowConsole(TRUE);
        ConsoleRecorder::Reset();
        EXPECT_EQ(TRUE, CTxtLogProbe::WriteText(log.get(), cases[i].pszText, cases[i].nLen));
        EXPECT_EQ(BANNER + cases[i].strFile, ReadWhole(Day() + "/090307.log"));
        EXPECT_EQ(cases[i].strConsole, ConsoleRecorder::Written());
        if (cases[i].nLen == 0)
            EXPECT_EQ(std::vector<std::string>(), ConsoleRecorder::All());
    }
}
