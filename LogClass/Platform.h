// The one include for OS calls. On Windows the real API; elsewhere the POSIX
// stand-ins, which give the same names with the meaning the library relies on.
// Besides the API names, each platform file provides the small set of helpers
// declared at the bottom (same functions, one file per OS).
#ifndef QUILLWORK_PLATFORM_H
#define QUILLWORK_PLATFORM_H

#include <stddef.h>
#include <stdarg.h>
#include <stdio.h>
#include <time.h>

#if defined(_WIN32)
#  ifndef WIN32_LEAN_AND_MEAN
#    define WIN32_LEAN_AND_MEAN
#  endif
#  include <windows.h>
#  include <mbstring.h>
#  define QW_PATH_SEP '\\'
#  define QW_PATH_SEP_STR "\\"
#  define QW_DRIVE_COLON 1
#else
#  include "../Posix/Win32Posix.h"
#  define QW_PATH_SEP '/'
#  define QW_PATH_SEP_STR "/"
#  define QW_DRIVE_COLON 0
#endif

// The current calendar time, in seconds since 1970 (UTC). On Windows it is read
// from the system clock directly: the C runtime's time() also looks up the time
// zone at every call, which under Wine costs microseconds.
time_t QwSystemClock(void);

// Converts tClock to local time in *pTm without shared state. TRUE on success.
BOOL QwLocalTime(const time_t* pClock, struct tm* pTm);

// Formats into pszBuf (nBufSize bytes), always terminated; never writes past it.
// On Windows this is wvsprintfA (its own 1024-byte output limit applies);
// elsewhere it gives what vsnprintf gives, except that a wide character the
// locale cannot encode becomes '?' instead of losing the message.
void QwFormatV(char* pszBuf, size_t nBufSize, const char* pszFormat, va_list args);

// TRUE when every byte of [pData, pData + nSize) can be read, found out without
// touching the memory. A count of 0 is readable whatever the pointer.
BOOL QwIsReadable(const void* pData, unsigned int nSize);

// Opens (or creates) pszPath for appending and reading, unbuffered, so that each
// fwrite is one write to the end of the file, whoever else appends to it: O_APPEND
// on POSIX; on Windows a handle with FILE_APPEND_DATA and no FILE_WRITE_DATA,
// shared for reading, writing and deleting. NULL when it cannot be opened.
FILE* QwOpenAppend(const char* pszPath);

// Appends nLen bytes of p to the file open behind pFile in one write, in the
// operating system when it returns; TRUE when all of them reached the file.
// Where only part did (a full disk), that part is cut off again, but only while
// the file still ends where this write left it: bytes another writer appended
// since are never removed. Every append of the process and the cut respect one
// lock, so no append of this process falls between the check and the cut. On
// Windows the write is one WriteFile on the stream's append-only handle, past
// the C runtime (which may split a count into two writes), under that lock.
BOOL QwAppendWhole(FILE* pFile, const char* p, size_t nLen);

// Writes a report to the platform's debug channel: OutputDebugStringA on Windows;
// on POSIX standard error, only while QUILLWORK_DEBUG is set, each report ending
// its line.
void QwDebugOutput(const char* pszText);

#endif
