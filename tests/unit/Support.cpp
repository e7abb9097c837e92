// The unit suite's scaffolding: the console recorder, the fixture and the formatter's text.
#include "Support.h"

#include "ConsoleShare.h"

#include <stdio.h>
#include <string.h>

namespace qwtest {

namespace {

std::mutex s_mtx;
std::vector<std::string> s_calls;
BOOL s_bAllocResult = TRUE;

// Handles the recorder gives out; calls that take them check they got them back.
int s_out, s_in, s_wnd, s_menu;
HANDLE OutHandle() { return (HANDLE)&s_out; }

// The console the recorder stands for: what GetConsoleScreenBufferInfo reads, kept
// up to date by the calls that set sizes and colour; its Close item and input mode.
CONSOLE_SCREEN_BUFFER_INFO s_console;
UINT s_nCloseState = 0;
DWORD s_nInputMode = 0;
bool s_bOwnOutput = false;
PHANDLER_ROUTINE s_pfnHandler = NULL;

void Record(const std::string& str)
{
    std::lock_guard<std::mutex> lock(s_mtx);
    s_calls.push_back(str);
}

std::string Checked(HANDLE h) { return h == OutHandle() ? "" : " (wrong handle)"; }

BOOL WINAPI RecAlloc(void) { Record("AllocConsole"); return s_bAllocResult; }
BOOL WINAPI RecFree(void) { Record("FreeConsole"); return TRUE; }
HANDLE WINAPI RecStd(DWORD n)
{
    if (n == STD_INPUT_HANDLE) {
        Record("GetStdHandle (input)");
        return (HANDLE)&s_in;
    }
    Record(n == STD_OUTPUT_HANDLE ? "GetStdHandle" : "GetStdHandle (other)");
    return OutHandle();
}
BOOL WINAPI RecBuffer(HANDLE h, COORD size)
{
    Record("SetConsoleScreenBufferSize " + std::to_string(size.X) + "," + std::to_string(size.Y) + Checked(h));
    s_console.dwSize = size;
    return TRUE;
}
BOOL WINAPI RecWindow(HANDLE h, BOOL bAbs, const SMALL_RECT* p)
{
    Record("SetConsoleWindowInfo " + std::to_string(bAbs) + " " + std::to_string(p->Left) + "," + std::to_string(p->Top) +
           "," + std::to_string(p->Right) + "," + std::to_string(p->Bottom) + Checked(h));
    s_console.srWindow = *p;
    return TRUE;
}
BOOL WINAPI RecAttr(HANDLE h, WORD w)
{
    Record("SetConsoleTextAttribute " + std::to_string(w) + Checked(h));
    s_console.wAttributes = w;
    return TRUE;
}
BOOL WINAPI RecInfo(HANDLE h, CONSOLE_SCREEN_BUFFER_INFO* p)
{
    Record("GetConsoleScreenBufferInfo" + Checked(h));
    *p = s_console;
    return TRUE;
}
BOOL WINAPI RecGetMode(HANDLE h, DWORD* pn)
{
    Record(std::string("GetConsoleMode") + (h == (HANDLE)&s_in ? "" : " (wrong handle)"));
    *pn = s_nInputMode;
    return TRUE;
}
BOOL WINAPI RecSetMode(HANDLE h, DWORD n)
{
    char sz[64];
    snprintf(sz, sizeof(sz), "SetConsoleMode %X%s", (unsigned)n, h == (HANDLE)&s_in ? "" : " (wrong handle)");
    Record(sz);
    s_nInputMode = n;
    return TRUE;
}
BOOL WINAPI RecCtrl(PHANDLER_ROUTINE pfn, BOOL bAdd)
{
    Record("SetConsoleCtrlHandler " + std::to_string(bAdd) + (pfn != NULL ? "" : " (no handler)"));
    s_pfnHandler = bAdd ? pfn : NULL;
    return TRUE;
}
HANDLE WINAPI RecOpenOut(void)
{
    Record("OpenConsoleOutput");
    return s_bOwnOutput ? OutHandle() : NULL;
}
void WINAPI RecCloseOut(HANDLE h) { Record("CloseConsoleOutput" + Checked(h)); }
void WINAPI RecBegin(HANDLE h) { Record("BeginConsoleBatch" + Checked(h)); }
void WINAPI RecEnd(HANDLE h) { Record("EndConsoleBatch" + Checked(h)); }
DWORD WINAPI RecTitle(char* psz, DWORD n)
{
    Record("GetConsoleTitleA");
    snprintf(psz, n, "qw");
    return 2;
}
// Narrow text as the library gives it to the console (recorded under the name of the
// narrow call, whatever the platform makes of it).
BOOL WINAPI RecWrite(HANDLE h, const char* p, DWORD n)
{
    Record("WriteConsoleA " + std::string(p, n) + Checked(h));
    return TRUE;
}
HWND WINAPI RecFind(const char* pszClass, const char* pszTitle)
{
    Record(std::string("FindWindowA ") + pszClass + " " + pszTitle);
    return (HWND)&s_wnd;
}
HMENU WINAPI RecMenu(HWND h, BOOL b)
{
    Record("GetSystemMenu " + std::to_string(b) + (h == (HWND)&s_wnd ? "" : " (wrong window)"));
    return (HMENU)&s_menu;
}
BOOL WINAPI RecEnable(HMENU h, UINT nItem, UINT nFlags)
{
    char sz[64];
    snprintf(sz, sizeof(sz), "EnableMenuItem %X %u%s", nItem, nFlags, h == (HMENU)&s_menu ? "" : " (wrong menu)");
    Record(sz);
    return 5;
}
UINT WINAPI RecMenuState(HMENU h, UINT nItem, UINT nFlags)
{
    char sz[64];
    snprintf(sz, sizeof(sz), "GetMenuState %X %u%s", nItem, nFlags, h == (HMENU)&s_menu ? "" : " (wrong menu)");
    Record(sz);
    return s_nCloseState;
}

const QW_CONSOLE_API s_recorder = { &RecAlloc,  &RecFree,    &RecStd,     &RecBuffer,   &RecWindow,
                                    &RecAttr,   &RecTitle,   &RecWrite,   &RecFind,     &RecMenu,
                                    &RecEnable, &RecMenuState, &RecInfo,  &RecGetMode,  &RecSetMode,
                                    &RecCtrl,   &RecOpenOut, &RecCloseOut, &RecBegin,   &RecEnd };

// Queries, and the calls about an object's own output that show nothing by themselves.
bool IsQuery(const std::string& str)
{
    const char* apsz[] = { "GetStdHandle", "GetConsoleTitleA", "FindWindowA", "GetSystemMenu", "GetMenuState",
                           "GetConsoleScreenBufferInfo", "GetConsoleMode", "OpenConsoleOutput", "CloseConsoleOutput",
                           "BeginConsoleBatch", "EndConsoleBatch" };
    for (size_t i = 0; i < sizeof(apsz) / sizeof(apsz[0]); ++i)
        if (str.compare(0, strlen(apsz[i]), apsz[i]) == 0)
            return true;
    return false;
}

} // namespace

const DWORD FOUND_INPUT_MODE = 0xE7;  // line input, echo, insert, QuickEdit, extended flags

CONSOLE_SCREEN_BUFFER_INFO FoundConsole()
{
    CONSOLE_SCREEN_BUFFER_INFO info;
    memset(&info, 0, sizeof(info));
    info.dwSize.X = 80;
    info.dwSize.Y = 300;
    info.wAttributes = 0x1E;
    info.srWindow.Right = 79;
    info.srWindow.Bottom = 24;
    info.dwMaximumWindowSize = info.dwSize;
    return info;
}

void ConsoleRecorder::Reset(BOOL bAllocResult)
{
    std::lock_guard<std::mutex> lock(s_mtx);
    s_calls.clear();
    s_bAllocResult = bAllocResult;
}

void ConsoleRecorder::Found(const CONSOLE_SCREEN_BUFFER_INFO& info, UINT nCloseState, DWORD nInputMode)
{
    std::lock_guard<std::mutex> lock(s_mtx);
    s_console = info;
    s_nCloseState = nCloseState;
    s_nInputMode = nInputMode;
}

void ConsoleRecorder::OwnOutput(bool bOwn) { s_bOwnOutput = bOwn; }

PHANDLER_ROUTINE ConsoleRecorder::Handler() { return s_pfnHandler; }

std::vector<std::string> ConsoleRecorder::All()
{
    std::lock_guard<std::mutex> lock(s_mtx);
    return s_calls;
}

std::vector<std::string> ConsoleRecorder::Effects()
{
    std::vector<std::string> all = All(), effects;
    for (size_t i = 0; i < all.size(); ++i)
        if (!IsQuery(all[i]))
            effects.push_back(all[i]);
    return effects;
}

std::string ConsoleRecorder::Written()
{
    std::vector<std::string> all = All();
    std::string str;
    const std::string strWrite = "WriteConsoleA ";
    for (size_t i = 0; i < all.size(); ++i)
        if (all[i].compare(0, strWrite.size(), strWrite) == 0)
            str += all[i].substr(strWrite.size());
    return str;
}

const QW_CONSOLE_API* ConsoleRecorder::Table() { return &s_recorder; }

void QwTest::SetUp()
{
    LogTest::SetUp();
    ConsoleRecorder::Reset();
    ConsoleRecorder::Found(FoundConsole(), MF_ENABLED, FOUND_INPUT_MODE);
    ConsoleRecorder::OwnOutput(false);
    QwSetConsoleApi(ConsoleRecorder::Table());
}

void QwTest::TearDown()
{
    m_log.reset();
    EXPECT_EQ(0, CConsoleShare::Users()) << "an object still holds the process's console";
    QwSetAllocator(NULL);
    QwSetConsoleApi(NULL);
    LogTest::TearDown();
}

LogPtr QwTest::NewLog() { return LogPtr(CreateLogObject(0)); }

std::string Formatted(const char* pszFormat, ...)
{
    char szBuf[2048];
    va_list args;
    va_start(args, pszFormat);
    QwFormatV(szBuf, sizeof(szBuf), pszFormat, args);
    va_end(args);
    return szBuf;
}

} // namespace qwtest
