// A program of the GUI subsystem (no console of its own) switches the mirror on:
// the console is really allocated, its title reads back, and what the log wrote
// can be read back from the screen buffer with its colours.
#include "Support.h"

#include "WinConsole.h"

#include <windows.h>

#include <atomic>
#include <string>

using namespace qwtest;

namespace {

class ConsoleWindowTest : public QwTest
{
protected:
    void SetUp()
    {
        QwTest::SetUp();
        QwSetConsoleApi(NULL);  // the real console calls
    }
};

// One row of the screen buffer: its characters and their attributes.
struct Row
{
    std::string strText;
    std::vector<WORD> attrs;
};

Row ReadRow(HANDLE hOut, SHORT nRow, DWORD nWidth)
{
    Row row;
    row.strText.assign(nWidth, ' ');
    row.attrs.assign(nWidth, 0);
    COORD at;
    at.X = 0;
    at.Y = nRow;
    DWORD nRead = 0;
    ReadConsoleOutputCharacterA(hOut, &row.strText[0], nWidth, at, &nRead);
    ReadConsoleOutputAttribute(hOut, &row.attrs[0], nWidth, at, &nRead);
    return row;
}

// The attributes of row's characters from nFrom for nCount, all equal to wAttr.
bool AllAttr(const Row& row, size_t nFrom, size_t nCount, WORD wAttr)
{
    for (size_t i = nFrom; i < nFrom + nCount; ++i)
        if ((row.attrs[i] & 0xFF) != wAttr)
            return false;
    return true;
}

// The first nRows rows of the screen buffer as wide text, rows joined by '|'.
std::wstring ScreenText(HANDLE hOut, SHORT nRows)
{
    std::wstring str;
    for (SHORT nRow = 0; nRow < nRows; ++nRow) {
        std::wstring strRow(CWinConsole::BUFFER_WIDTH, L' ');
        COORD at;
        at.X = 0;
        at.Y = nRow;
        DWORD nRead = 0;
        ReadConsoleOutputCharacterW(hOut, &strRow[0], CWinConsole::BUFFER_WIDTH, at, &nRead);
        str += strRow.substr(0, nRead) + L"|";
    }
    return str;
}

bool ScreenHas(const std::wstring& strText)
{
    return ScreenText(GetStdHandle(STD_OUTPUT_HANDLE), 40).find(strText) != std::wstring::npos;
}

// UTF-8 of wide text, for failure messages.
std::string Utf8(const std::wstring& str)
{
    std::string strOut(str.size() * 3 + 1, '\0');
    int n = WideCharToMultiByte(CP_UTF8, 0, str.c_str(), (int)str.size(), &strOut[0], (int)strOut.size(), NULL, NULL);
    strOut.resize(n > 0 ? (size_t)n : 0);
    return strOut;
}

// Control handlers of the test around the library's, to see where an event goes.
// The one installed before the library's is reached only if the library's let the
// event through; it takes the event then, so a failure cannot end the test.
std::atomic<int> s_nPassedThrough(0);
BOOL WINAPI BelowTheLibrary(DWORD) { s_nPassedThrough.fetch_add(1); return TRUE; }

// The one installed after it is called first, from the thread that carries the event
// through the handlers; it hands that thread out so the test can wait for its end.
HANDLE s_hEventThread = NULL;
HANDLE s_hSeen = NULL;
BOOL WINAPI AboveTheLibrary(DWORD)
{
    DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &s_hEventThread, SYNCHRONIZE, FALSE, 0);
    SetEvent(s_hSeen);
    return FALSE;
}

// Sends a control event to the process's console. Where the platform does not
// generate the event (Wine propagates only Ctrl+C), it is delivered the way the
// console itself delivers it: a thread at the system's control routine, which runs
// the handlers in order and ends the process if none takes the event. How it was
// sent, or NULL.
typedef DWORD (WINAPI* PFN_CTRLROUTINE)(void* pArg);
const char* SendControl(DWORD nEvent)
{
    if (GenerateConsoleCtrlEvent(nEvent, 0))
        return "GenerateConsoleCtrlEvent";
    const char* apszModules[] = { "kernelbase.dll", "kernel32.dll" };
    for (size_t i = 0; i < sizeof(apszModules) / sizeof(apszModules[0]); ++i) {
        HMODULE hModule = GetModuleHandleA(apszModules[i]);
        PFN_CTRLROUTINE pfn = hModule != NULL ? (PFN_CTRLROUTINE)(void*)GetProcAddress(hModule, "CtrlRoutine") : NULL;
        if (pfn == NULL)
            continue;
        HANDLE hThread = CreateThread(NULL, 0, (LPTHREAD_START_ROUTINE)(void*)pfn, (void*)(ULONG_PTR)nEvent, 0, NULL);
        if (hThread == NULL)
            return NULL;
        CloseHandle(hThread);
        return "CtrlRoutine";
    }
    return NULL;
}

} // namespace

TEST_F(ConsoleWindowTest, GuiProgramGetsItsOwnConsoleAndItsTitle)
{
    ASSERT_TRUE(GetConsoleWindow() == NULL) << "a GUI-subsystem program starts without a console";
    CWinConsole console;
    ASSERT_EQ(TRUE, console.Show(TRUE));
    HANDLE hOut = console.GetOutput();
    EXPECT_TRUE(hOut != NULL && hOut != INVALID_HANDLE_VALUE);
    EXPECT_TRUE(GetConsoleWindow() != NULL);
    ASSERT_TRUE(SetConsoleTitleA("Quillwork console check"));
    char szTitle[CWinConsole::TITLE_SIZE] = { 0 };
    GetConsoleTitleA(szTitle, sizeof(szTitle));
    EXPECT_EQ(std::string("Quillwork console check"), szTitle);
    // The window is looked up by the class Windows gives console windows; Wine's
    // console host uses a class of its own, and then the lookup finds nothing.
    char szClass[64] = { 0 };
    GetClassNameA(GetConsoleWindow(), szClass, sizeof(szClass));
    const bool bWindowsClass = std::string(szClass) == "ConsoleWindowClass";
    EXPECT_EQ(bWindowsClass ? GetConsoleWindow() : NULL, (HWND)console.GetHwnd()) << szClass;
    EXPECT_EQ(bWindowsClass, console.DisableClose(TRUE) != FALSE) << szClass;
    CONSOLE_SCREEN_BUFFER_INFO info;
    ASSERT_TRUE(GetConsoleScreenBufferInfo(hOut, &info));
    EXPECT_EQ(CWinConsole::BUFFER_WIDTH, info.dwSize.X);
    EXPECT_EQ(CWinConsole::BUFFER_HEIGHT, info.dwSize.Y);
    EXPECT_EQ(CWinConsole::NORMAL_COLOR, info.wAttributes & 0xFF);
    // The console this object made goes with it.
    EXPECT_EQ(TRUE, console.Show(FALSE));
    EXPECT_TRUE(GetConsoleWindow() == NULL);
    EXPECT_TRUE(console.GetOutput() == NULL);
}

TEST_F(ConsoleWindowTest, MirroredEntryAndDumpReadBackWithTheirColours)
{
    WriteWhole(Host() + SEP + "Quillwork.ini", "[CONSOLE]\r\nOPEN=1\r\n");
    m_log = NewLog();
    ASSERT_EQ(TRUE, m_log->Open("Gui"));
    ASSERT_TRUE(GetConsoleWindow() != NULL);
    const unsigned char data[3] = { 0x41, 0x00, 0xFF };
    ASSERT_EQ(TRUE, m_log->WriteLog("%d items", 3));
    ASSERT_EQ(TRUE, m_log->WriteHex(data, sizeof(data), TRUE, TRUE));
    HANDLE hOut = GetStdHandle(STD_OUTPUT_HANDLE);
    const std::string strStamp = "2024-05-01 09:03:07  ";
    Row entry = ReadRow(hOut, 0, CWinConsole::BUFFER_WIDTH);
    EXPECT_EQ(strStamp + "3 items", entry.strText.substr(0, strStamp.size() + 7));
    EXPECT_TRUE(AllAttr(entry, 0, strStamp.size(), 6)) << "stamp colour";
    EXPECT_TRUE(AllAttr(entry, strStamp.size(), 7, 7)) << "message colour";
    // One empty line, then the dump: stamp and arrow, label, bytes.
    Row dump = ReadRow(hOut, 2, CWinConsole::BUFFER_WIDTH);
    const std::string strHead = "2024-05-01 09:03:07 --> ", strLabel = "00000000h: ", strBytes = "41 00 FF";
    EXPECT_EQ(strHead + strLabel + strBytes, dump.strText.substr(0, strHead.size() + strLabel.size() + strBytes.size()));
    EXPECT_TRUE(AllAttr(dump, 0, strHead.size(), 6)) << "dump stamp colour";
    EXPECT_TRUE(AllAttr(dump, strHead.size(), strLabel.size(), 3)) << "label colour";
    EXPECT_TRUE(AllAttr(dump, strHead.size() + strLabel.size(), strBytes.size(), 2)) << "bytes colour";
    EXPECT_EQ(TRUE, m_log->Close());
    EXPECT_TRUE(GetConsoleWindow() == NULL);
    EXPECT_EQ(std::string(BANNER) + strStamp + "3 items\r\n\r\n" + strHead + strLabel + strBytes + " \r\n\r\n",
              ReadWhole(Day() + SEP + "090307_Gui.log"));
}

TEST_F(ConsoleWindowTest, TwoObjectsShareTheConsoleAndTheSecondKeepsIt)
{
    LogPtr first = NewLog(), second = NewLog();
    ASSERT_EQ(TRUE, first->Open("First"));
    ASSERT_EQ(TRUE, first->ShowConsole(TRUE));
    ASSERT_EQ(TRUE, second->Open("Second"));
    ASSERT_EQ(TRUE, second->ShowConsole(TRUE));
    HWND hWnd = GetConsoleWindow();
    ASSERT_TRUE(hWnd != NULL);
    first.reset();  // the object whose AllocConsole made the console
    EXPECT_EQ(hWnd, GetConsoleWindow()) << "the second object still shows the console";
    ASSERT_EQ(TRUE, second->WriteLog("second after the first went"));
    EXPECT_TRUE(ScreenHas(L"second after the first went"));
    ASSERT_EQ(TRUE, second->ShowConsole(FALSE));
    EXPECT_TRUE(GetConsoleWindow() == NULL) << "the last object let go: the console is freed";
    // Switched on again, the mirror gets a console of its own again.
    ASSERT_EQ(TRUE, second->ShowConsole(TRUE));
    EXPECT_TRUE(GetConsoleWindow() != NULL);
    ASSERT_EQ(TRUE, second->WriteLog("in the new console"));
    EXPECT_TRUE(ScreenHas(L"in the new console"));
    ASSERT_EQ(TRUE, second->Close());
    EXPECT_TRUE(GetConsoleWindow() == NULL);
}

TEST_F(ConsoleWindowTest, CodePageTextReadsBackAsTheSameCharacters)
{
    const struct { UINT nCodePage; const char* pszText; const wchar_t* pwszShown; } cases[] = {
        { 1252, "caf\xE9 na\xEFve \x80 \xDF", L"caf\u00E9 na\u00EFve \u20AC \u00DF" },
        { 932, "\x93\xFA\x96\x7B\x8C\xEA \xB6\xC5", L"\u65E5\u672C\u8A9E \uFF76\uFF85" },
    };
    RecordProperty("ansi_code_page", (int)GetACP());
    size_t nRun = 0;
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        if (cases[i].nCodePage != GetACP())
            continue;
        SCOPED_TRACE(cases[i].nCodePage);
        ++nRun;
        m_log = NewLog();
        ASSERT_EQ(TRUE, m_log->Open("CodePage"));
        ASSERT_EQ(TRUE, m_log->ShowConsole(TRUE));
        ASSERT_EQ(TRUE, m_log->WriteLog("<%s>", cases[i].pszText));
        const std::wstring strShown = std::wstring(L"<") + cases[i].pwszShown + L">";
        EXPECT_TRUE(ScreenHas(strShown)) << Utf8(ScreenText(GetStdHandle(STD_OUTPUT_HANDLE), 4));
        ASSERT_EQ(TRUE, m_log->Close());
        const std::string strFile = ReadWhole(Day() + SEP + "090307_CodePage.log");
        EXPECT_NE(std::string::npos, strFile.find(std::string("<") + cases[i].pszText + ">")) << "the file keeps the bytes";
        m_log.reset();
    }
    EXPECT_EQ(1u, nRun) << "no case for the ANSI code page " << GetACP();
}

TEST_F(ConsoleWindowTest, ControlCharactersShowAsEscapesAndTheFileKeepsThem)
{
    // Title, clear screen, bell and DEL in any code page; in code page 1252 the euro
    // (0x80) shows as itself while 0x81, which converts to the C1 control U+0081,
    // is escaped.
    const bool b1252 = GetACP() == 1252;
    const char* pszText = b1252 ? "\x1b]0;owned\x07|\x1b[2J|\x7f|\x80|\x81" : "\x1b]0;owned\x07|\x1b[2J|\x7f";
    const std::wstring strShown = b1252 ? L"<^[]0;owned^G|^[[2J|^?|\u20AC|\\x81>" : L"<^[]0;owned^G|^[[2J|^?>";
    m_log = NewLog();
    ASSERT_EQ(TRUE, m_log->Open("Controls"));
    ASSERT_EQ(TRUE, m_log->ShowConsole(TRUE));
    ASSERT_EQ(TRUE, m_log->WriteLog("<%s>", pszText));
    EXPECT_TRUE(ScreenHas(strShown)) << Utf8(ScreenText(GetStdHandle(STD_OUTPUT_HANDLE), 4));
    ASSERT_EQ(TRUE, m_log->Close());
    const std::string strFile = ReadWhole(Day() + SEP + "090307_Controls.log");
    EXPECT_NE(std::string::npos, strFile.find(std::string("<") + pszText + ">")) << "the file keeps the bytes";
}

TEST_F(ConsoleWindowTest, CtrlCAndCtrlBreakLeaveTheHostRunning)
{
    s_hSeen = CreateEventA(NULL, FALSE, FALSE, NULL);
    ASSERT_TRUE(s_hSeen != NULL);
    CWinConsole console;
    ASSERT_TRUE(SetConsoleCtrlHandler(&BelowTheLibrary, TRUE));
    ASSERT_EQ(TRUE, console.Show(TRUE));
    ASSERT_TRUE(SetConsoleCtrlHandler(&AboveTheLibrary, TRUE));
    const DWORD anEvents[] = { CTRL_C_EVENT, CTRL_BREAK_EVENT };
    for (size_t i = 0; i < sizeof(anEvents) / sizeof(anEvents[0]); ++i) {
        SCOPED_TRACE(anEvents[i]);
        s_nPassedThrough.store(0);
        const char* pszHow = SendControl(anEvents[i]);
        ASSERT_TRUE(pszHow != NULL) << "the event could not be sent";
        RecordProperty(anEvents[i] == CTRL_C_EVENT ? "ctrl_c_sent_by" : "ctrl_break_sent_by", pszHow);
        // Generous bounds for the event to arrive and its thread to end; no timing is measured.
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(s_hSeen, 30000)) << "the event never reached the handlers";
        ASSERT_TRUE(s_hEventThread != NULL);
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(s_hEventThread, 30000));
        CloseHandle(s_hEventThread);
        s_hEventThread = NULL;
        EXPECT_EQ(0, s_nPassedThrough.load()) << "the library's handler let the event through to end the host";
    }
    SetConsoleCtrlHandler(&AboveTheLibrary, FALSE);
    console.Show(FALSE);
    SetConsoleCtrlHandler(&BelowTheLibrary, FALSE);
    CloseHandle(s_hSeen);
}

TEST_F(ConsoleWindowTest, TheLibrarysConsoleHasNoQuickEdit)
{
    // What a fresh console's input mode is here, for the record.
    DWORD nFresh = 0;
    if (AllocConsole()) {
        GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &nFresh);
        FreeConsole();
    }
    RecordProperty("fresh_console_input_mode", (int)nFresh);
    CWinConsole console;
    ASSERT_EQ(TRUE, console.Show(TRUE));
    DWORD nMode = 0;
    ASSERT_TRUE(GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &nMode));
    EXPECT_EQ(0u, nMode & ENABLE_QUICK_EDIT_MODE) << std::hex << nMode;
    console.Show(FALSE);
}

TEST_F(ConsoleWindowTest, AConsoleTheProcessHadIsGivenBackAsItWas)
{
    ASSERT_TRUE(AllocConsole());  // the host's own console, before the library shows
    HANDLE hOut = GetStdHandle(STD_OUTPUT_HANDLE), hIn = GetStdHandle(STD_INPUT_HANDLE);
    COORD size;
    size.X = 90;
    size.Y = 400;
    ASSERT_TRUE(SetConsoleScreenBufferSize(hOut, size));
    SMALL_RECT rect = { 0, 10, 89, 39 };
    ASSERT_TRUE(SetConsoleWindowInfo(hOut, TRUE, &rect));
    ASSERT_TRUE(SetConsoleTextAttribute(hOut, 0x1E));
    DWORD nMode = 0;
    ASSERT_TRUE(GetConsoleMode(hIn, &nMode));
    ASSERT_TRUE(SetConsoleMode(hIn, nMode | ENABLE_QUICK_EDIT_MODE | ENABLE_EXTENDED_FLAGS));
    CONSOLE_SCREEN_BUFFER_INFO before, during, after;
    DWORD nModeBefore = 0, nModeAfter = 0;
    ASSERT_TRUE(GetConsoleScreenBufferInfo(hOut, &before));
    ASSERT_TRUE(GetConsoleMode(hIn, &nModeBefore));
    {
        LogPtr one = NewLog(), two = NewLog();
        ASSERT_EQ(TRUE, one->Open("Own"));
        ASSERT_EQ(TRUE, one->ShowConsole(TRUE));
        ASSERT_EQ(TRUE, two->ShowConsole(TRUE));
        ASSERT_TRUE(GetConsoleScreenBufferInfo(hOut, &during));
        EXPECT_EQ(CWinConsole::BUFFER_WIDTH, during.dwSize.X) << "the mirror sizes the console while it shows";
        ASSERT_EQ(TRUE, one->WriteLog("into the host's console"));
        EXPECT_TRUE(ScreenHas(L"into the host's console"));
        ASSERT_EQ(TRUE, one->Close());
        ASSERT_TRUE(GetConsoleScreenBufferInfo(hOut, &after));
        EXPECT_EQ(CWinConsole::BUFFER_WIDTH, after.dwSize.X) << "another object still shows it";
    }
    EXPECT_TRUE(GetConsoleWindow() != NULL) << "the host keeps its console";
    ASSERT_TRUE(GetConsoleScreenBufferInfo(hOut, &after));
    ASSERT_TRUE(GetConsoleMode(hIn, &nModeAfter));
    EXPECT_EQ(before.dwSize.X, after.dwSize.X);
    EXPECT_EQ(before.dwSize.Y, after.dwSize.Y);
    EXPECT_EQ(before.srWindow.Left, after.srWindow.Left);
    EXPECT_EQ(before.srWindow.Top, after.srWindow.Top);
    EXPECT_EQ(before.srWindow.Right, after.srWindow.Right);
    EXPECT_EQ(before.srWindow.Bottom, after.srWindow.Bottom);
    EXPECT_EQ(before.wAttributes, after.wAttributes);
    EXPECT_EQ(nModeBefore, nModeAfter) << "QuickEdit of the host's console is not the library's to change";
    FreeConsole();
}
