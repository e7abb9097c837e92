// The shared console: a count of showing objects and what the first one found,
// under one lock for the process. Every call goes through the console table.
#include "ConsoleShare.h"

#include "Framework.h"

#include <string.h>

namespace {

// A lock for the process, made on first use by whichever thread comes first.
struct CShareLock
{
    CShareLock() { InitializeCriticalSection(&m_cs); }
    CRITICAL_SECTION m_cs;
};

CRITICAL_SECTION& ShareLock()
{
    static CShareLock s_lock;
    return s_lock.m_cs;
}

// Holds the lock for a scope.
struct CShareScope
{
    CShareScope() { EnterCriticalSection(&ShareLock()); }
    ~CShareScope() { LeaveCriticalSection(&ShareLock()); }
};

const UINT NO_MENU_STATE = (UINT)-1;
const char CONSOLE_CLASS[] = "ConsoleWindowClass";

int s_nUsers = 0;
BOOL s_bAllocated = FALSE;                   // the library's AllocConsole made the console
BOOL s_bSaved = FALSE;                       // s_saved holds the state of the process's console
CONSOLE_SCREEN_BUFFER_INFO s_saved;
UINT s_nCloseState = NO_MENU_STATE;          // GetMenuState of its Close item, as found

// The smaller of two coordinates.
SHORT Least(SHORT a, SHORT b) { return a < b ? a : b; }

} // namespace

void CConsoleShare::Acquire()
{
    CShareScope scope;
    if (s_nUsers++ > 0)
        return;
    s_bAllocated = QwConsole().AllocConsole() ? TRUE : FALSE;
    if (s_bAllocated)
        TakeAllocated();
    else
        SaveState();
}

void CConsoleShare::Release()
{
    CShareScope scope;
    if (s_nUsers == 0 || --s_nUsers > 0)
        return;
    if (s_bAllocated) {
        QwConsole().SetConsoleCtrlHandler(&CConsoleShare::OnControl, FALSE);
        QwConsole().FreeConsole();
        s_bAllocated = FALSE;
    } else {
        RestoreState();
    }
}

int CConsoleShare::Users()
{
    CShareScope scope;
    return s_nUsers;
}

BOOL WINAPI CConsoleShare::OnControl(DWORD dwCtrlType)
{
    // The window's own close (taskbar, End task) cannot be refused: the system ends
    // the process once the handlers return, and every entry is in the file by then.
    return dwCtrlType == CTRL_C_EVENT || dwCtrlType == CTRL_BREAK_EVENT ? TRUE : FALSE;
}

// A console the library made: Ctrl+C and Ctrl+Break are caught, and QuickEdit is
// cleared, since a click in the window would otherwise stop every write to it (and
// with it the host's logging threads) until the selection ends.
void CConsoleShare::TakeAllocated()
{
    QwConsole().SetConsoleCtrlHandler(&CConsoleShare::OnControl, TRUE);
    HANDLE hIn = QwConsole().GetStdHandle(STD_INPUT_HANDLE);
    DWORD nMode = 0;
    if (QwConsole().GetConsoleMode(hIn, &nMode))
        QwConsole().SetConsoleMode(hIn, (nMode & ~(DWORD)ENABLE_QUICK_EDIT_MODE) | ENABLE_EXTENDED_FLAGS);
}

// A console the process already had: its sizes, attribute and Close item, as found.
void CConsoleShare::SaveState()
{
    memset(&s_saved, 0, sizeof(s_saved));
    s_bSaved = QwConsole().GetConsoleScreenBufferInfo(QwConsole().GetStdHandle(STD_OUTPUT_HANDLE), &s_saved);
    HMENU hMenu = ConsoleMenu();
    s_nCloseState = hMenu != NULL ? QwConsole().GetMenuState(hMenu, SC_CLOSE, MF_BYCOMMAND) : NO_MENU_STATE;
}

// Gives the console what SaveState found. The window first shrinks to fit both the
// present buffer and the saved one, since a buffer may never be smaller than its window.
void CConsoleShare::RestoreState()
{
    if (s_bSaved) {
        HANDLE hOut = QwConsole().GetStdHandle(STD_OUTPUT_HANDLE);
        CONSOLE_SCREEN_BUFFER_INFO now;
        memset(&now, 0, sizeof(now));
        if (QwConsole().GetConsoleScreenBufferInfo(hOut, &now)) {
            SMALL_RECT fit;
            fit.Left = 0;
            fit.Top = 0;
            fit.Right = (SHORT)(Least((SHORT)(now.srWindow.Right - now.srWindow.Left + 1), s_saved.dwSize.X) - 1);
            fit.Bottom = (SHORT)(Least((SHORT)(now.srWindow.Bottom - now.srWindow.Top + 1), s_saved.dwSize.Y) - 1);
            QwConsole().SetConsoleWindowInfo(hOut, TRUE, &fit);
        }
        QwConsole().SetConsoleScreenBufferSize(hOut, s_saved.dwSize);
        QwConsole().SetConsoleWindowInfo(hOut, TRUE, &s_saved.srWindow);
        QwConsole().SetConsoleTextAttribute(hOut, s_saved.wAttributes);
        s_bSaved = FALSE;
    }
    if (s_nCloseState != NO_MENU_STATE) {
        HMENU hMenu = ConsoleMenu();
        if (hMenu != NULL)
            QwConsole().EnableMenuItem(hMenu, SC_CLOSE, MF_BYCOMMAND | (s_nCloseState & (MF_GRAYED | MF_DISABLED)));
        s_nCloseState = NO_MENU_STATE;
    }
}

// The system menu of the console window, found by class and title; NULL when none.
HMENU CConsoleShare::ConsoleMenu()
{
    char szTitle[256] = { 0 };
    QwConsole().GetConsoleTitleA(szTitle, sizeof(szTitle));
    HWND hWnd = QwConsole().FindWindowA(CONSOLE_CLASS, szTitle);
    return hWnd != NULL ? QwConsole().GetSystemMenu(hWnd, FALSE) : NULL;
}
