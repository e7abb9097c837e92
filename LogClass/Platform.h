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

// Converts tClock to local time in *pTm without shared state. TRUE on success.
BOOL QwLocalTime(const time_t* pClock, struct tm* pTm);

// Formats into pszBuf (nBufSize bytes); never writes past it. On Windows this is
// wvsprintfA (its own 1024-byte output limit applies), elsewhere vsnprintf.
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
// operating system when it returns; gives the bytes written. On POSIX one fwrite
// of the unbuffered O_APPEND stream. On Windows one WriteFile on the stream's
// append-only handle, past the C runtime (which may split a count into two
// writes), under one lock for every object of the process, so that two objects
// on one file never overlap even where the file system emulates appends (Wine).
size_t QwAppendBytes(FILE* pFile, const char* p, size_t nLen);

// Cuts the last nBytes off the file open behind pFile (a torn entry on a full
// disk). TRUE on success; FALSE where the handle may not shorten the file.
BOOL QwCutTail(FILE* pFile, long long nBytes);

// Writes a report to the platform's debug channel (OutputDebugStringA or stderr).
void QwDebugOutput(const char* pszText);

// The console output of one showing object. On POSIX each object writes through a
// terminal descriptor of its own, opened non-blocking when its mirror comes on and
// closed when it goes off, so no object can ever write through a number another
// has closed; on Windows there is none (NULL: the standard output handle is asked
// for at every call). NULL when the output cannot be opened.
HANDLE WINAPI QwOpenConsoleOutput(void);
// Closes what QwOpenConsoleOutput gave (NULL is fine), putting out what it gathered.
void WINAPI QwCloseConsoleOutput(HANDLE hOut);
// Between these two, the colour changes and text given to hOut are gathered and
// put out together (POSIX: in one write where they fit); elsewhere they go at once.
void WINAPI QwBeginConsoleBatch(HANDLE hOut);
void WINAPI QwEndConsoleBatch(HANDLE hOut);
// Writes nCount bytes of narrow text (the ANSI code page on Windows, converted and
// written wide; on POSIX the bytes as they are, never blocking: what the terminal
// cannot take now is dropped). TRUE when all of it went out.
BOOL WINAPI QwWriteConsoleText(HANDLE hOut, const char* pszText, DWORD nCount);

#endif
