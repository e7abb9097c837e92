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

// Opens the folder that holds the file pszPath (UTF-8) for reading its
// attributes, without delete sharing, when it is a plain folder (no reparse
// point) lying directly in the folder above it. INVALID_HANDLE_VALUE otherwise.
HANDLE QwOpenFolderOfFile(const char* pszPath);

#endif
