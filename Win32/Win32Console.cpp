// The Windows console: the process's console through the console API. No
// output of an object's own (the standard output handle is asked for at every
// call), pieces go out at once, and narrow text is converted from the ANSI code
// page and written with the wide call, so every character of the code page
// shows as itself whatever the console's own code page. Control characters of
// the text show as escapes, so logged text cannot drive the console; the
// colours are the library's own.
#include "Win32Console.h"

#include "../LogClass/ControlText.h"

#include <atomic>
#include <new>
#include <string>

namespace {

// The class of the console's window, found by it and the console's title.
const char CONSOLE_CLASS[] = "ConsoleWindowClass";

// The handler the library added, called by the system's handler below.
std::atomic<PFN_QWCONTROL> s_pfnControl(NULL);

// The console handle behind an output (NULL stays NULL, never the invalid handle).
HANDLE HandleOf(QW_OUTPUT hOut) { return (HANDLE)hOut; }

// Passes a control event of the console to the library's handler.
BOOL WINAPI OnConsoleControl(DWORD dwCtrlType)
{
    PFN_QWCONTROL pfn = s_pfnControl.load();
    return pfn != NULL ? pfn(QwControlOf(dwCtrlType)) : FALSE;
}

// Writes nCount UTF-16 units to the console as they are.
BOOL WriteUnits(HANDLE hOut, const WCHAR* p, size_t nCount)
{
    DWORD nWritten = 0;
    return WriteConsoleW(hOut, p, (DWORD)nCount, &nWritten, NULL) && nWritten == (DWORD)nCount;
}

// True when p[0..nCount) holds a character the console would act on.
bool HasControls(const WCHAR* p, size_t nCount)
{
    for (size_t i = 0; i < nCount; ++i)
        if ((p[i] < 0x20 && p[i] != L'\t' && p[i] != L'\r' && p[i] != L'\n') || (p[i] >= 0x7F && p[i] <= 0x9F))
            return true;
    return false;
}

// Writes nCount UTF-16 units, their control characters shown as escapes. FALSE,
// and nothing written, when there is no memory to show them.
BOOL WriteShown(HANDLE hOut, const WCHAR* p, size_t nCount)
{
    if (!HasControls(p, nCount))
        return WriteUnits(hOut, p, nCount);
    std::wstring strShown;
    try {
        QwAppendShownW(strShown, p, nCount);
    } catch (const std::bad_alloc&) {
        return FALSE;
    }
    return WriteUnits(hOut, strShown.data(), strShown.size());
}

// Writes nCount bytes of ANSI text through awcBuf (room for nCount characters).
BOOL WriteWide(HANDLE hOut, const char* pszText, DWORD nCount, WCHAR* awcBuf)
{
    int nWide = MultiByteToWideChar(CP_ACP, 0, pszText, (int)nCount, awcBuf, (int)nCount);
    if (nWide <= 0)
        return FALSE;
    return WriteShown(hOut, awcBuf, (size_t)nWide);
}

} // namespace

QW_OUTPUT QwOpenConsoleOutput(void) { return NULL; }

void QwCloseConsoleOutput(QW_OUTPUT) {}

void QwBeginConsoleBatch(QW_OUTPUT) {}

void QwEndConsoleBatch(QW_OUTPUT) {}

BOOL QwWriteConsoleText(QW_OUTPUT hOut, const char* pszText, DWORD nCount)
{
    if (pszText == NULL)
        return FALSE;
    if (nCount == 0)
        return TRUE;
    // A code page never makes more UTF-16 units than it has bytes.
    WCHAR awcLocal[1024];
    if (nCount <= sizeof(awcLocal) / sizeof(awcLocal[0]))
        return WriteWide(HandleOf(hOut), pszText, nCount, awcLocal);
    WCHAR* pawcBuf = new (std::nothrow) WCHAR[nCount];
    if (pawcBuf == NULL)
        return FALSE;  // no memory for the conversion: the file has the text
    BOOL bOk = WriteWide(HandleOf(hOut), pszText, nCount, pawcBuf);
    delete[] pawcBuf;
    return bOk;
}

QW_CONTROL QwControlOf(DWORD dwCtrlType)
{
    if (dwCtrlType == CTRL_C_EVENT)
        return QW_CONTROL_C;
    return dwCtrlType == CTRL_BREAK_EVENT ? QW_CONTROL_BREAK : QW_CONTROL_OTHER;
}

BOOL QwAllocConsole(void) { return AllocConsole(); }

BOOL QwFreeConsole(void) { return FreeConsole(); }

QW_OUTPUT QwStdOutput(void)
{
    HANDLE hOut = GetStdHandle(STD_OUTPUT_HANDLE);
    return hOut == INVALID_HANDLE_VALUE ? NULL : (QW_OUTPUT)hOut;
}

BOOL QwSetConsoleBuffer(QW_OUTPUT hOut, QW_CELLS size)
{
    COORD coord;
    coord.X = size.nX;
    coord.Y = size.nY;
    return hOut != NULL && SetConsoleScreenBufferSize(HandleOf(hOut), coord);
}

BOOL QwSetConsoleWindow(QW_OUTPUT hOut, const QW_RECT* pRect)
{
    if (hOut == NULL || pRect == NULL)
        return FALSE;
    SMALL_RECT rect;
    rect.Left = pRect->nLeft;
    rect.Top = pRect->nTop;
    rect.Right = pRect->nRight;
    rect.Bottom = pRect->nBottom;
    return SetConsoleWindowInfo(HandleOf(hOut), TRUE, &rect);
}

BOOL QwSetConsoleColour(QW_OUTPUT hOut, WORD wAttr) { return hOut != NULL && SetConsoleTextAttribute(HandleOf(hOut), wAttr); }

BOOL QwConsoleState(QW_OUTPUT hOut, QW_CONSOLE_STATE* pState)
{
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (hOut == NULL || pState == NULL || !GetConsoleScreenBufferInfo(HandleOf(hOut), &info))
        return FALSE;
    pState->size.nX = info.dwSize.X;
    pState->size.nY = info.dwSize.Y;
    pState->window.nLeft = info.srWindow.Left;
    pState->window.nTop = info.srWindow.Top;
    pState->window.nRight = info.srWindow.Right;
    pState->window.nBottom = info.srWindow.Bottom;
    pState->wAttr = info.wAttributes;
    return TRUE;
}

DWORD QwConsoleTitle(char* pszTitle, DWORD nSize) { return GetConsoleTitleA(pszTitle, nSize); }

QW_WINDOW QwFindConsoleWindow(const char* pszTitle) { return (QW_WINDOW)FindWindowA(CONSOLE_CLASS, pszTitle); }

QW_MENU QwSystemMenu(QW_WINDOW hWnd) { return hWnd != NULL ? (QW_MENU)GetSystemMenu((HWND)hWnd, FALSE) : NULL; }

DWORD QwEnableCloseItem(QW_MENU hMenu, unsigned int nState)
{
    if (hMenu == NULL)
        return (DWORD)-1;
    return (DWORD)EnableMenuItem((HMENU)hMenu, SC_CLOSE, MF_BYCOMMAND | (nState & (MF_GRAYED | MF_DISABLED)));
}

unsigned int QwCloseItemState(QW_MENU hMenu)
{
    return hMenu != NULL ? GetMenuState((HMENU)hMenu, SC_CLOSE, MF_BYCOMMAND) : QW_NO_CLOSE_STATE;
}

BOOL QwInputMode(DWORD* pnMode) { return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), pnMode); }

BOOL QwSetInputMode(DWORD nMode) { return SetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), nMode); }

BOOL QwSetControlHandler(PFN_QWCONTROL pfn, BOOL bAdd)
{
    if (bAdd)
        s_pfnControl.store(pfn);
    BOOL bDone = SetConsoleCtrlHandler(&OnConsoleControl, bAdd);
    if (!bAdd)
        s_pfnControl.store(NULL);
    return bDone;
}
