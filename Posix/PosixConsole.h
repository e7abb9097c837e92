// What the POSIX console makes of a console colour, offered to its tests.
#ifndef QUILLWORK_POSIXCONSOLE_H
#define QUILLWORK_POSIXCONSOLE_H

#include "../LogClass/Platform.h"

// The SGR sequence that stands for a console attribute, into pszSgr (nSize at
// least 24): a reset to the terminal's own colours, the foreground unless it is
// the normal colour 7, the background unless it is black.
void QwConsoleSgr(WORD wAttr, char* pszSgr, size_t nSize);

#endif
