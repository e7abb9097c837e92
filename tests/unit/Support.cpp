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
int s_out, s_wnd, s_menu;
QW_OUTPUT OutHandle() { return (QW_OUTPUT)&s_out; }

// The console the recorder stands for: what ConsoleState reads, kept up to date
// by the calls that set sizes and colour; its Close item and input mode.
QW_CONSOLE_STATE s_console;
unsigned int s_nCloseState = 0;
DWORD s_nInputMode = 0;
bool s_bOwnOutput = false;
PFN_QWCONTROL s_pfnHandler = NULL;

void Record(const std::string& str)
{
    std::lock_guard<std::mutex> lock(s_mtx);
    s_calls.push_back(str);
}

std::string Checked(QW_OUTPUT h) { return h == OutHandle() ? "" : " (wrong handle)"; }

BOOL RecAlloc(void) { Record("AllocConsole"); return s_bAllocResult; }
BOOL RecFree(void) { Record("FreeConsole"); return TRUE; }
QW_OUTPUT RecStd(void)
{
    Record("StdOutput");
    return OutHandle();
}
BOOL RecBuffer(QW_OUTPUT h, QW_CELLS size)
{
    Record("SetConsoleBuffer " + std::to_string(size.nX) + "," + std::to_string(size.nY) + Checked(h));
    s_console.size = size;
    return TRUE;
}
BOOL RecWindow(QW_OUTPUT h, const QW_RECT* p)
{
    Record("SetConsoleWindow " + std::to_string(p->nLeft) + "," + std::to_string(p->nTop) + "," +
           std::to_string(p->nRight) + "," + std::to_string(p->nBottom) + Checked(h));
    s_console.window = *p;
    return TRUE;
}
BOOL RecAttr(QW_OUTPUT h, WORD w)
{
    Record("SetConsoleColour " + std::to_string(w) + Checked(h));
    s_console.wAttr = w;
    return TRUE;
}
BOOL RecInfo(QW_OUTPUT h, QW_CONSOLE_STATE* p)
{
    Record("ConsoleState" + Checked(h));
    *p = s_console;
    return TRUE;
}
BOOL RecGetMode(DWORD* pn)
{
    Record("InputMode");
    *pn = s_nInputMode;
    return TRUE;
}
BOOL RecSetMode(DWORD n)
{
    char sz[64];
    snprintf(sz, sizeof(sz), "SetInputMode %X", (unsigned)n);
    Record(sz);
    s_nInputMode = n;
    return TRUE;
}
BOOL RecCtrl(PFN_QWCONTROL pfn, BOOL bAdd)
{
    Record("SetControlHandler " + std::to_string(bAdd) + (pfn != NULL ? "" : " (no handler)"));
    s_pfnHandler = bAdd ? pfn : NULL;
    return TRUE;
}
QW_OUTPUT RecOpenOut(void)
{
    Record("OpenConsoleOutput");
    return s_bOwnOutput ? OutHandle() : NULL;
}
void RecCloseOut(QW_OUTPUT h) { Record("CloseConsoleOutput" + Checked(h)); }
void RecBegin(QW_OUTPUT h) { Record("BeginConsoleBatch" + Checked(h)); }
void RecEnd(QW_OUTPUT h) { Record("EndConsoleBatch" + Checked(h)); }
DWORD RecTitle(char* psz, DWORD n)
{
    Record("ConsoleTitle");
    snprintf(psz, n, "qw");
    return 2;
}
BOOL RecWrite(QW_OUTPUT h, const char* p, DWORD n)
{
    Record("WriteConsoleText " + std::string(p, n) + Checked(h));
    return TRUE;
}
QW_WINDOW RecFind(const char* pszTitle)
{
    Record(std::string("FindConsoleWindow ") + pszTitle);
    return (QW_WINDOW)&s_wnd;
}
QW_MENU RecMenu(QW_WINDOW h)
{
    Record(std::string("SystemMenu") + (h == (QW_WINDOW)&s_wnd ? "" : " (wrong window)"));
    return (QW_MENU)&s_menu;
}
DWORD RecEnable(QW_MENU h, unsigned int nState)
{
    Record("EnableCloseItem " + std::to_string(nState) + (h == (QW_MENU)&s_menu ? "" : " (wrong menu)"));
    return 5;
}
unsigned int RecMenuState(QW_MENU h)
{
    Record(std::string("CloseItemState") + (h == (QW_MENU)&s_menu ? "" : " (wrong menu)"));
    return s_nCloseState;
}

const QW_CONSOLE_API s_recorder = { &RecAlloc,  &RecFree,      &RecStd,     &RecBuffer,   &RecWindow,
                                    &RecAttr,   &RecTitle,     &RecWrite,   &RecFind,     &RecMenu,
                                    &RecEnable, &RecMenuState, &RecInfo,    &RecGetMode,  &RecSetMode,
                                    &RecCtrl,   &RecOpenOut,   &RecCloseOut, &RecBegin,   &RecEnd };

// Queries, and the calls about an object's own output that show nothing by themselves.
bool IsQuery(const std::string& str)
{
    const char* apsz[] = { "StdOutput", "ConsoleTitle", "FindConsoleWindow", "SystemMenu", "CloseItemState",
                           "ConsoleState", "InputMode", "OpenConsoleOutput", "CloseConsoleOutput",
                           "BeginConsoleBatch", "EndConsoleBatch" };
    for (size_t i = 0; i < sizeof(apsz) / sizeof(apsz[0]); ++i)
        if (str.compare(0, strlen(apsz[i]), apsz[i]) == 0)
            return true;
    return false;
}

} // namespace

const DWORD FOUND_INPUT_MODE = 0xE7;  // line input, echo, insert, QuickEdit, extended flags

QW_CONSOLE_STATE FoundConsole()
{
    QW_CONSOLE_STATE state;
    memset(&state, 0, sizeof(state));
    state.size.nX = 80;
    state.size.nY = 300;
    state.wAttr = 0x1E;
    state.window.nRight = 79;
    state.window.nBottom = 24;
    return state;
}

void ConsoleRecorder::Reset(BOOL bAllocResult)
{
    std::lock_guard<std::mutex> lock(s_mtx);
    s_calls.clear();
    s_bAllocResult = bAllocResult;
}

void ConsoleRecorder::Found(const QW_CONSOLE_STATE& state, unsigned int nCloseState, DWORD nInputMode)
{
    std::lock_guard<std::mutex> lock(s_mtx);
    s_console = state;
    s_nCloseState = nCloseState;
    s_nInputMode = nInputMode;
}

void ConsoleRecorder::OwnOutput(bool bOwn) { s_bOwnOutput = bOwn; }

PFN_QWCONTROL ConsoleRecorder::Handler() { return s_pfnHandler; }

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
    const std::string strWrite = "WriteConsoleText ";
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
    ConsoleRecorder::Found(FoundConsole(), QW_CLOSE_ENABLED, FOUND_INPUT_MODE);
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
