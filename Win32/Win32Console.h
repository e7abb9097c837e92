// What the Windows console makes of the system's control events, offered to its tests.
#ifndef QUILLWORK_WIN32CONSOLE_H
#define QUILLWORK_WIN32CONSOLE_H

#include "../LogClass/Platform.h"

#include <windows.h>

// The library's name for a console control event: Ctrl+C, Ctrl+Break, or
// another (the window's close, log-off, shut-down, an unknown code).
QW_CONTROL QwControlOf(DWORD dwCtrlType);

#endif
