// The console window on its own, and the text log's use of it.
#include "Support.h"

#include "ConsoleShare.h"
#include "ControlText.h"
#include "WinConsole.h"

using namespace qwtest;

namespace {

class ConsoleTest : public QwTest {};

const std::string ATTR = "SetConsoleColour ", WRITE = "WriteConsoleText ";

// What Setup does, queries left out.
std::vector<std::string> SetupCalls()
{
    return { "SetConsoleBuffer 100,5000", "SetConsoleWindow 0,0,99,25", ATTR + "7", "EnableCloseItem 1" };
}

std::vector<std::string> Join(std::vector<std::string> a, const std::vector<std::string>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// What the first Show makes of a console the library allocates: the control handler,
// QuickEdit cleared (from the recorder's input mode 0xE7).
std::vector<std::string> AllocCalls() { return { "AllocConsole", "SetControlHandler 1", "SetInputMode A7" }; }

// What the last object's Show(FALSE) does to the console the library allocated.
std::vector<std::string> FreeCalls() { return { "SetControlHandler 0", "FreeConsole" }; }

// What it does to the console the process had (the recorder's 80 x 300, window 80 x 25,
// attribute 0x1E, Close item enabled) after the library's Setup made it 100 x 5000.
std::vector<std::string> RestoreCalls()
{
    return { "SetConsoleWindow 0,0,79,25", "SetConsoleBuffer 80,300", "SetConsoleWindow 0,0,79,24",
             ATTR + "30", "EnableCloseItem 0" };
}

} // namespace

TEST_F(ConsoleTest, ClosedConsoleCallsNothing)
{
    CWinConsole console;
    console.Write("abc", 3);
    EXPECT_TRUE(console.GetOutput() == NULL);
    EXPECT_TRUE(console.GetHwnd() == NULL);
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
        EXPECT_EQ(Join(Join(AllocCalls(), SetupCalls()), SetupCalls()), ConsoleRecorder::Effects());
        ConsoleRecorder::Reset();
    }
    // Leaving it open, the destructor does not free the process's console: the
    // reference stays with the process.
    EXPECT_EQ(std::vector<std::string>(), ConsoleRecorder::All());
    EXPECT_EQ(1, CConsoleShare::Users());
    CConsoleShare::Release();
    EXPECT_EQ(FreeCalls(), ConsoleRecorder::All());
}

TEST_F(ConsoleTest, OnlyAConsoleItMadeIsFreedAndOneItFoundIsGivenBack)
{
    struct { BOOL bAllocated; std::vector<std::string> showCalls, hideCalls; } cases[] = {
        { TRUE, Join(AllocCalls(), SetupCalls()), FreeCalls() },
        // The process already had a console: no handler, its QuickEdit untouched,
        // and it stays, as it was found.
        { FALSE, Join({ "AllocConsole" }, SetupCalls()), RestoreCalls() },
    };
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        SCOPED_TRACE(cases[i].bAllocated);
        ConsoleRecorder::Reset(cases[i].bAllocated);
        ConsoleRecorder::Found(FoundConsole(), QW_CLOSE_ENABLED, FOUND_INPUT_MODE);
        CWinConsole console;
        console.Show(TRUE);
        EXPECT_EQ(cases[i].showCalls, ConsoleRecorder::Effects());
        ConsoleRecorder::Reset(cases[i].bAllocated);
        EXPECT_EQ(TRUE, console.Show(FALSE));
        EXPECT_EQ(TRUE, console.Show(FALSE));
        EXPECT_EQ(cases[i].hideCalls, ConsoleRecorder::Effects());
        EXPECT_TRUE(ConsoleRecorder::Handler() == NULL);
    }
}

TEST_F(ConsoleTest, AFoundConsoleGetsItsSizesAttributeAndCloseItemBack)
{
    QW_CONSOLE_STATE wide = FoundConsole();
    wide.size.nX = 120;
    wide.size.nY = 9000;
    wide.window.nLeft = 10;
    wide.window.nTop = 8000;
    wide.window.nRight = 119;
    wide.window.nBottom = 8039;
    wide.wAttr = 0x07;
    struct { const char* pszWhat; QW_CONSOLE_STATE found; unsigned int nCloseState; std::vector<std::string> hideCalls; } cases[] = {
        { "smaller buffer, Close enabled", FoundConsole(), QW_CLOSE_ENABLED, RestoreCalls() },
        { "larger buffer, window scrolled, Close greyed", wide, QW_CLOSE_GRAYED,
          { "SetConsoleWindow 0,0,99,25", "SetConsoleBuffer 120,9000", "SetConsoleWindow 10,8000,119,8039",
            ATTR + "7", "EnableCloseItem 1" } },
        { "Close disabled and greyed", FoundConsole(), QW_CLOSE_GRAYED | QW_CLOSE_DISABLED,
          { "SetConsoleWindow 0,0,79,25", "SetConsoleBuffer 80,300", "SetConsoleWindow 0,0,79,24",
            ATTR + "30", "EnableCloseItem 3" } },
        { "no Close item", FoundConsole(), QW_NO_CLOSE_STATE,
          { "SetConsoleWindow 0,0,79,25", "SetConsoleBuffer 80,300", "SetConsoleWindow 0,0,79,24",
            ATTR + "30" } },
    };
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        SCOPED_TRACE(cases[i].pszWhat);
        ConsoleRecorder::Reset(FALSE);
        ConsoleRecorder::Found(cases[i].found, cases[i].nCloseState, FOUND_INPUT_MODE);
        CWinConsole one, two;
        one.Show(TRUE);
        two.Show(TRUE);
        one.Show(TRUE);  // a second Setup after the state was saved changes nothing saved
        ConsoleRecorder::Reset(FALSE);
        one.Show(FALSE);
        EXPECT_EQ(std::vector<std::string>(), ConsoleRecorder::Effects()) << "another object still shows it";
        two.Show(FALSE);
        EXPECT_EQ(cases[i].hideCalls, ConsoleRecorder::Effects());
    }
}

TEST_F(ConsoleTest, TheConsoleIsSharedByReferenceAndMadeAgainAfterTheLastLetsGo)
{
    CWinConsole first, second;
    first.Show(TRUE);
    second.Show(TRUE);
    EXPECT_EQ(Join(Join(AllocCalls(), SetupCalls()), SetupCalls()), ConsoleRecorder::Effects()) << "one AllocConsole";
    ConsoleRecorder::Reset();
    // The first to show lets go: the second keeps the console and writes into it.
    first.Show(FALSE);
    second.Write("still here", 10);
    EXPECT_EQ(std::vector<std::string>({ WRITE + "still here" }), ConsoleRecorder::Effects());
    ConsoleRecorder::Reset();
    second.Show(FALSE);
    EXPECT_EQ(FreeCalls(), ConsoleRecorder::Effects());
    // Showing again after the console went makes a new one.
    ConsoleRecorder::Reset();
    first.Show(TRUE);
    EXPECT_EQ(Join(AllocCalls(), SetupCalls()), ConsoleRecorder::Effects());
    first.Show(FALSE);
}

TEST_F(ConsoleTest, OnlyCtrlCAndCtrlBreakAreTakenWhileTheLibrarysConsoleExists)
{
    CWinConsole console;
    console.Show(TRUE);
    PFN_QWCONTROL pfn = ConsoleRecorder::Handler();
    ASSERT_TRUE(pfn != NULL);
    const struct { QW_CONTROL nEvent; BOOL bTaken; } cases[] = {
        { QW_CONTROL_C, TRUE }, { QW_CONTROL_BREAK, TRUE }, { QW_CONTROL_OTHER, FALSE },
    };
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i)
        EXPECT_EQ(cases[i].bTaken, pfn(cases[i].nEvent)) << cases[i].nEvent;
    console.Show(FALSE);
    EXPECT_TRUE(ConsoleRecorder::Handler() == NULL);
}

TEST_F(ConsoleTest, QuickEditIsClearedOnlyInTheLibrarysConsole)
{
    const struct { DWORD nFound; BOOL bAllocated; const char* pszSet; } cases[] = {
        { 0xE7, TRUE, "SetInputMode A7" },
        { 0x07, TRUE, "SetInputMode 87" },  // the extended flag makes the change take
        { 0xE7, FALSE, NULL },
    };
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        SCOPED_TRACE(i);
        ConsoleRecorder::Reset(cases[i].bAllocated);
        ConsoleRecorder::Found(FoundConsole(), QW_CLOSE_ENABLED, cases[i].nFound);
        CWinConsole console;
        console.Show(TRUE);
        std::vector<std::string> modes;
        for (const std::string& str : ConsoleRecorder::Effects())
            if (str.compare(0, 12, "SetInputMode") == 0)
                modes.push_back(str);
        EXPECT_EQ(cases[i].pszSet != NULL ? std::vector<std::string>(1, cases[i].pszSet) : std::vector<std::string>(), modes);
        console.Show(FALSE);
    }
}

TEST_F(ConsoleTest, AnOwnOutputIsOpenedWithTheMirrorAndClosedBeforeTheConsoleGoes)
{
    ConsoleRecorder::OwnOutput(true);
    {
        CWinConsole console;
        console.Show(TRUE);
        console.Show(TRUE);
        console.BeginEntry();
        console.SetColor(6);
        console.Write("ab", 2);
        console.SetColor(7);
        console.EndEntry();
        console.Show(FALSE);
        std::vector<std::string> calls;
        for (const std::string& str : ConsoleRecorder::All())
            if (str.compare(0, 9, "StdOutput") != 0 && str.compare(0, 12, "SetInputMode") != 0 &&
                str.compare(0, 9, "InputMode") != 0)
                calls.push_back(str);
        std::vector<std::string> expected = Join({ "AllocConsole", "SetControlHandler 1", "OpenConsoleOutput" }, SetupCalls());
        expected = Join(Join(expected, SetupCalls()), { "BeginConsoleBatch", ATTR + "6", WRITE + "ab", ATTR + "7", "EndConsoleBatch",
                                                        "CloseConsoleOutput" });
        expected = Join(expected, FreeCalls());
        // Setup's window lookups are queries of no interest here.
        std::vector<std::string> shown;
        for (const std::string& str : calls)
            if (str.compare(0, 12, "ConsoleTitle") != 0 && str.compare(0, 17, "FindConsoleWindow") != 0 &&
                str.compare(0, 10, "SystemMenu") != 0)
                shown.push_back(str);
        EXPECT_EQ(expected, shown);
        // An object destroyed while showing takes only its own output with it.
        ConsoleRecorder::Reset();
        console.Show(TRUE);
        ConsoleRecorder::Reset();
    }
    EXPECT_EQ(std::vector<std::string>(1, "CloseConsoleOutput"), ConsoleRecorder::All());
    CConsoleShare::Release();
}

TEST_F(ConsoleTest, WithoutAnOwnOutputTheEntryBracketCallsNothing)
{
    CWinConsole console;
    console.Show(TRUE);
    ConsoleRecorder::Reset();
    console.BeginEntry();
    console.Write("x", 1);
    console.EndEntry();
    EXPECT_EQ(std::vector<std::string>({ "StdOutput", WRITE + "x" }), ConsoleRecorder::All());
    console.Show(FALSE);
}

TEST_F(ConsoleTest, OpenConsoleWritesAndQueries)
{
    CWinConsole console;
    console.Show(TRUE);
    ConsoleRecorder::Reset();
    console.Write("abcdef", 3);
    EXPECT_EQ("abc", ConsoleRecorder::Written());
    EXPECT_EQ(5, console.DisableClose(FALSE));
    EXPECT_EQ("EnableCloseItem 0", ConsoleRecorder::Effects().back());
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
    EXPECT_EQ(Join(AllocCalls(), SetupCalls()), ConsoleRecorder::Effects());
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
    EXPECT_EQ(FreeCalls(), ConsoleRecorder::Effects());
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
    EXPECT_EQ(FreeCalls(), ConsoleRecorder::All());
    EXPECT_EQ(FALSE, CTxtLogProbe::Console(log.get()));
}

namespace {

// One text and what a terminal of each kind is given for it.
struct SHOWN_CASE
{
    const char* pszName;
    std::string strIn;
    std::string strUtf8;        // shown to a UTF-8 terminal
    std::string strSingle;      // shown to a terminal of a single-byte charset
};

const SHOWN_CASE SHOWN_CASES[] = {
    { "plain", "abc 123", "abc 123", "abc 123" },
    { "tab cr lf pass", "a\tb\r\nc", "a\tb\r\nc", "a\tb\r\nc" },
    { "title OSC 0", "\x1b]0;pwned\x07", "^[]0;pwned^G", "^[]0;pwned^G" },
    { "clipboard OSC 52", "\x1b]52;c;aGk=\x1b\\", "^[]52;c;aGk=^[\\", "^[]52;c;aGk=^[\\" },
    { "clear CSI 2J", "\x1b[2J", "^[[2J", "^[[2J" },
    { "NUL, BEL, US, DEL", std::string("\0\x07\x1f\x7f", 4), "^@^G^_^?", "^@^G^_^?" },
    { "C1 CSI", "\xc2\x9b" "2J", "\\x9b2J", "\xc2\\x9b2J" },
    { "C1 range ends", "\xc2\x80\xc2\x9f\xc2\xa0", "\\x80\\x9f\xc2\xa0", "\xc2\\x80\xc2\\x9f\xc2\xa0" },
    { "raw C1 byte", "a\x9b" "b", "a\x9b" "b", "a\\x9bb" },
    { "euro keeps its bytes", "\xe2\x82\xac", "\xe2\x82\xac", "\xe2\\x82\xac" },
    { "lead byte before a C1 pair", "\xe2\xc2\x9b", "\xe2\\x9b", "\xe2\xc2\\x9b" },
    { "C2 at the end", "a\xc2", "a\xc2", "a\xc2" },
};

} // namespace

TEST(ControlTextTest, ShowsControlsAsTheTerminalReadsThem)
{
    for (const SHOWN_CASE& c : SHOWN_CASES)
    {
        std::string strUtf8 = "<", strSingle = "<";
        QwAppendShown(strUtf8, c.strIn.data(), c.strIn.size(), true);
        QwAppendShown(strSingle, c.strIn.data(), c.strIn.size(), false);
        EXPECT_EQ("<" + c.strUtf8, strUtf8) << c.pszName;
        EXPECT_EQ("<" + c.strSingle, strSingle) << c.pszName;
    }
}

TEST(ControlTextTest, ShowsWideControls)
{
    struct { std::wstring strIn, strOut; } cases[] = {
        { L"a\tb\r\n", L"a\tb\r\n" },
        { L"\x1b]0;t\x07", L"^[]0;t^G" },
        { std::wstring(L"\0\x7f", 2), L"^@^?" },
        { L"\x80\x9b\x9f\xa0", L"\\x80\\x9b\\x9f\xa0" },
        { L"\x20ac\x0100", L"\x20ac\x0100" },
    };
    for (const auto& c : cases)
    {
        std::wstring strOut = L"<";
        QwAppendShownW(strOut, c.strIn.data(), c.strIn.size());
        EXPECT_TRUE(L"<" + c.strOut == strOut) << c.strIn.size();
    }
}
