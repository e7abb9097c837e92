// CWinConsole: every call but Show with TRUE is a no-op with a fixed result
// while the console is not open, so callers need not test for it.
#include "WinConsole.h"

#include "ConsoleShare.h"
#include "Framework.h"

#include <string.h>


CWinConsole::CWinConsole()
    : m_bOpen(FALSE)
    , m_hOut(NULL)
{
}

CWinConsole::~CWinConsole()
{
    // The console belongs to the process: the owner switches it off first. Only
    // this object's own output goes with it.
    if (m_hOut != NULL)
        QwConsole().CloseConsoleOutput(m_hOut);
}

BOOL CWinConsole::Show(BOOL bShow)
{
    if (bShow) {
        if (!m_bOpen) {
            CConsoleShare::Acquire();
            m_hOut = QwConsole().OpenConsoleOutput();
            m_bOpen = TRUE;
        }
        Setup();
    } else if (m_bOpen) {
        // The output closes under the caller's lock, before anything else can reuse it.
        if (m_hOut != NULL)
            QwConsole().CloseConsoleOutput(m_hOut);
        m_hOut = NULL;
        m_bOpen = FALSE;
        CConsoleShare::Release();
    }
    return TRUE;
}

void CWinConsole::Setup()
{
    if (!m_bOpen)
        return;
    QW_CELLS size;
    size.nX = BUFFER_WIDTH;
    size.nY = BUFFER_HEIGHT;
    QwConsole().SetConsoleBuffer(GetOutput(), size);
    QW_RECT rect;
    rect.nLeft = 0;
    rect.nTop = 0;
    rect.nRight = BUFFER_WIDTH - 1;
    rect.nBottom = WINDOW_BOTTOM;
    QwConsole().SetConsoleWindow(GetOutput(), &rect);
    SetColor(NORMAL_COLOR);
    DisableClose(TRUE);
}

BOOL CWinConsole::DisableClose(BOOL bDisable)
{
    if (!m_bOpen)
        return FALSE;
    QW_WINDOW hWnd = GetHwnd();
    if (hWnd == NULL)
        return FALSE;
    QW_MENU hMenu = QwConsole().SystemMenu(hWnd);
    if (hMenu == NULL)
        return FALSE;
    return (BOOL)QwConsole().EnableCloseItem(hMenu, bDisable ? QW_CLOSE_GRAYED : QW_CLOSE_ENABLED);
}

QW_WINDOW CWinConsole::GetHwnd()
{
    if (!m_bOpen)
        return NULL;
    // A title of its own, so that lookups on two threads cannot mix titles.
    char szTitle[TITLE_SIZE] = { 0 };
    QwConsole().ConsoleTitle(szTitle, TITLE_SIZE);
    return QwConsole().FindConsoleWindow(szTitle);
}

void CWinConsole::Write(const char* pszText, DWORD nCount)
{
    if (!m_bOpen || pszText == NULL)
        return;
    QwConsole().WriteConsoleText(GetOutput(), pszText, nCount);
}

QW_OUTPUT CWinConsole::GetOutput()
{
    if (!m_bOpen)
        return NULL;
    return m_hOut != NULL ? m_hOut : QwConsole().StdOutput();
}

BOOL CWinConsole::SetColor(WORD wAttr)
{
    if (!m_bOpen)
        return TRUE;
    return QwConsole().SetConsoleColour(GetOutput(), wAttr);
}

void CWinConsole::BeginEntry()
{
    if (m_bOpen && m_hOut != NULL)
        QwConsole().BeginConsoleBatch(m_hOut);
}

void CWinConsole::EndEntry()
{
    if (m_bOpen && m_hOut != NULL)
        QwConsole().EndConsoleBatch(m_hOut);
}
