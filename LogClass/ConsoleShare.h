// CConsoleShare: the process's console, shared by every CWinConsole that shows
// the mirror. A process has one console, so the objects hold it by reference:
// the first to show allocates it, the last to switch off frees it - and only a
// console the library allocated. A console the process already had is given back
// as it was found (buffer and window size, text attribute, Close item).
#ifndef QUILLWORK_CONSOLESHARE_H
#define QUILLWORK_CONSOLESHARE_H

#include "Platform.h"

class CConsoleShare
{
public:
    // One more object shows the mirror. With none before it, allocates the console;
    // where that fails (the process has one) saves that console's state instead.
    static void Acquire();
    // One object less. The last one frees the console the library allocated, or
    // gives the console the process had its saved state back.
    static void Release();
    // How many objects show the mirror now.
    static int Users();
    // While the library's own console exists: Ctrl+C and Ctrl+Break are taken
    // (TRUE), so they cannot end the host; everything else goes on to the next
    // handler.
    static BOOL OnControl(QW_CONTROL nEvent);

private:
    static void TakeAllocated();
    static void SaveState();
    static void RestoreState();
    static QW_MENU ConsoleMenu();
};

#endif
