// CWinConsole: the console window the text log mirrors into. The console belongs
// to the process and is shared by reference (CConsoleShare); an object remembers
// whether it shows it and holds only its own output (a terminal descriptor on
// POSIX; on Windows none, the standard output handle is asked for at every call).
#ifndef QUILLWORK_WINCONSOLE_H
#define QUILLWORK_WINCONSOLE_H

#include "Platform.h"

class CWinConsole
{
public:
    CWinConsole();
    virtual ~CWinConsole();

    // Shows (non-zero) or stops showing (zero) the console; the last object to stop
    // frees a console the library made. Always TRUE.
    BOOL Show(BOOL bShow);
    // Sizes buffer and window, sets colour 7 and greys the Close item.
    void Setup();
    // Greys (non-zero) or enables (zero) the window's Close item; the item's
    // state before (QwEnableCloseItem), FALSE without a window or menu.
    BOOL DisableClose(BOOL bDisable);
    // The console window, or NULL.
    QW_WINDOW GetHwnd();
    // Writes exactly nCount bytes of pszText.
    void Write(const char* pszText, DWORD nCount);
    // This object's output: its own where it has one, else the process's standard
    // output handle; NULL when not open.
    QW_OUTPUT GetOutput();
    // Sets the text attribute for what follows; TRUE when not open.
    BOOL SetColor(WORD wAttr);
    // TRUE while this object shows the console.
    BOOL IsOpen() const { return m_bOpen; }
    // Bracket the SetColor and Write calls of one entry. The text log calls them
    // after the entry's file bytes are written; the pieces in between are gathered
    // and put out together at EndEntry where the platform can (POSIX: one write).
    // Pieces outside a bracket go out at once.
    void BeginEntry();
    void EndEntry();

    enum
    {
        BUFFER_WIDTH = 100,
        BUFFER_HEIGHT = 5000,
        WINDOW_BOTTOM = 25,
        NORMAL_COLOR = 7,
        TITLE_SIZE = 256
    };

private:
    BOOL m_bOpen;    // this object shows the console (whether or not the library made it)
    QW_OUTPUT m_hOut;  // its own output while open, NULL where the platform has none
};

#endif
