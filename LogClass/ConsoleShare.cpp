// The shared console: a count of showing objects and what the first one found,
// under one lock for the process. Every call goes through the console table.
#include "ConsoleShare.h"

#include "Framework.h"

#include <string.h>

namespace {

// A lock for the process, made on first use by whichever thread comes first.
struct CShareLock
{
    CShareLock() { QwInitLock(&m_lock); }
    QW_LOCK m_lock;
};

QW_LOCK& ShareLock()
{
    static CShareLock s_lock;
    return s_lock.m_lock;
}

// Holds the lock for a scope.
struct CShareScope
{
    CShareScope() { QwEnterLock(&ShareLock()); }
    ~CShareScope() { QwLeaveLock(&ShareLock()); }
};


int s_nUsers = 0;
BOOL s_bAllocated = FALSE;                   // the library made the console
BOOL s_bSaved = FALSE;                       // s_saved holds the state of the process's console
QW_CONSOLE_STATE s_saved;
unsigned int s_nCloseState = QW_NO_CLOSE_STATE;  // the state of its Close item, as found

// The smaller of two coordinates.
short Least(short a, short b) { return a < b ? a : b; }

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
        QwConsole().SetControlHandler(&CConsoleShare::OnControl, FALSE);
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

BOOL CConsoleShare::OnControl(QW_CONTROL nEvent)
{
    // The window's own close (taskbar, End task) cannot be refused: the system ends
    // the process once the handlers return, and every entry is in the file by then.
    return nEvent == QW_CONTROL_C || nEvent == QW_CONTROL_BREAK ? TRUE : FALSE;
}

// A console the library made: Ctrl+C and Ctrl+Break are caught, and QuickEdit is
// cleared, since a click in the window would otherwise stop every write to it (and
// with it the host's logging threads) until the selection ends.
void CConsoleShare::TakeAllocated()
{
    QwConsole().SetControlHandler(&CConsoleShare::OnControl, TRUE);
    DWORD nMode = 0;
    if (QwConsole().InputMode(&nMode))
        QwConsole().SetInputMode((nMode & ~(DWORD)QW_INPUT_QUICK_EDIT) | QW_INPUT_EXTENDED_FLAGS);
}

// A console the process already had: its sizes, attribute and Close item, as found.
void CConsoleShare::SaveState()
{
    memset(&s_saved, 0, sizeof(s_saved));
    s_bSaved = QwConsole().ConsoleState(QwConsole().StdOutput(), &s_saved);
    QW_MENU hMenu = ConsoleMenu();
    s_nCloseState = hMenu != NULL ? QwConsole().CloseItemState(hMenu) : QW_NO_CLOSE_STATE;
}

// Gives the console what SaveState found. The window first shrinks to fit both the
// present buffer and the saved one, since a buffer may never be smaller than its window.
void CConsoleShare::RestoreState()
{
    if (s_bSaved) {
        QW_OUTPUT hOut = QwConsole().StdOutput();
        QW_CONSOLE_STATE now;
        memset(&now, 0, sizeof(now));
        if (QwConsole().ConsoleState(hOut, &now)) {
            QW_RECT fit;
            fit.nLeft = 0;
            fit.nTop = 0;
            fit.nRight = (short)(Least((short)(now.window.nRight - now.window.nLeft + 1), s_saved.size.nX) - 1);
            fit.nBottom = (short)(Least((short)(now.window.nBottom - now.window.nTop + 1), s_saved.size.nY) - 1);
            QwConsole().SetConsoleWindow(hOut, &fit);
        }
        QwConsole().SetConsoleBuffer(hOut, s_saved.size);
        QwConsole().SetConsoleWindow(hOut, &s_saved.window);
        QwConsole().SetConsoleColour(hOut, s_saved.wAttr);
        s_bSaved = FALSE;
    }
    if (s_nCloseState != QW_NO_CLOSE_STATE) {
        QW_MENU hMenu = ConsoleMenu();
        if (hMenu != NULL)
            QwConsole().EnableCloseItem(hMenu, s_nCloseState & (QW_CLOSE_GRAYED | QW_CLOSE_DISABLED));
        s_nCloseState = QW_NO_CLOSE_STATE;
    }
}

// The system menu of the console window, found by its title; NULL when none.
QW_MENU CConsoleShare::ConsoleMenu()
{
    char szTitle[256] = { 0 };
    QwConsole().ConsoleTitle(szTitle, sizeof(szTitle));
    QW_WINDOW hWnd = QwConsole().FindConsoleWindow(szTitle);
    return hWnd != NULL ? QwConsole().SystemMenu(hWnd) : NULL;
}
