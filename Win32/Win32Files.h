// What the Windows files of the log share: a handle closed with its scope and
// the check that a handle is a plain disk file.
#ifndef QUILLWORK_WIN32FILES_H
#define QUILLWORK_WIN32FILES_H

#include <windows.h>

// Closes a handle when the scope ends.
struct CHandle
{
    HANDLE h;
    ~CHandle()
    {
        if (h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
    }
};

// TRUE when hFile is a plain disk file with one link: no folder, no reparse
// point (link, junction), no device or pipe.
BOOL QwIsPlainDiskFile(HANDLE hFile);

// Opens the folder that holds the file pszPath (UTF-8) itself, never through a
// reparse point, for reading its attributes and without delete sharing (so it
// cannot be swapped while open), when it is a plain folder: no link, junction
// or other reparse point. INVALID_HANDLE_VALUE otherwise.
HANDLE QwOpenFolderOfFile(const char* pszPath);

#endif
