// CWinConsole: the console window the text log mirrors into. It holds no
// handle; it remembers only whether it opened the console, and asks for the
// standard output handle at every call.
#ifndef QUILLWORK_WINCONSOLE_H
#define QUILLWORK_WINCONSOLE_H

#include "Platform.h"

class CWinConsole
{
public:
    CWinConsole();
    virtual ~CWinConsole();

    // Opens (non-zero) or frees (zero) the console. Always TRUE.
    BOOL Show(BOOL bShow);
    // Sizes buffer and window, sets colour 7 and greys the Close item.
    void Setup();
    // Greys (non-zero) or enables (zero) the window's Close item; what
    // EnableMenuItem returns, FALSE without a window or menu.
    BOOL DisableClose(BOOL bDisable);
    // The console window, or NULL.
    HWND GetHwnd();
    // The console title, in a buffer shared by every object; NULL when not open.
    char* GetTitle();
    // Writes exactly nCount bytes of pszText.
    void Write(const char* pszText, DWORD nCount);
    // Formats and writes; not used by the library, offered to users of the class.
    void Printf(const char* pszFormat, ...);
    // The process's standard output handle; NULL when not open.
    HANDLE GetOutput();
    // Sets the text attribute for what follows; TRUE when not open.
    BOOL SetColor(WORD wAttr);
    // TRUE while this object shows the console.
    BOOL IsOpen() const { return m_bOpen; }
    // Bracket the SetColor and Write calls of one entry. The text log calls them
    // after the entry's file bytes are written; a console may gather the pieces
    // in between and put them out together at EndEntry.
    void BeginEntry();
    void EndEntry();

    enum
    {
        BUFFER_WIDTH = 100,
        BUFFER_HEIGHT = 5000,
        WINDOW_BOTTOM = 25,
        NORMAL_COLOR = 7,
        TITLE_SIZE = 256,
        PRINTF_SIZE = 5120
    };

private:
    BOOL m_bOpen;       // this object opened the console (whatever AllocConsole said)
    BOOL m_bAllocated;  // ...and its AllocConsole made the console, so it may free it
    static char s_szTitle[TITLE_SIZE];
};

#endif
