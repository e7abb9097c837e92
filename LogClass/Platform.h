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

#include <string>
#include <vector>

#if defined(_WIN32)
#  ifndef WIN32_LEAN_AND_MEAN
#    define WIN32_LEAN_AND_MEAN
#  endif
#  include <windows.h>
#  include <mbstring.h>
#  define QW_PATH_SEP '\\'
#  define QW_PATH_SEP_STR "\\"
#  define QW_DRIVE_COLON 1
#  define QW_EXE_EXTENSION 1
// What a host passes for a "long double" argument: Windows programs pass a double.
typedef double QW_LONG_DOUBLE;
#else
#  include "../Posix/Win32Posix.h"
#  define QW_PATH_SEP '/'
#  define QW_PATH_SEP_STR "/"
#  define QW_DRIVE_COLON 0
#  define QW_EXE_EXTENSION 0
typedef long double QW_LONG_DOUBLE;
#endif

// Tells the processor that the thread spins waiting for another (a pause on
// x86, which spares the sibling hardware thread); nothing elsewhere.
#if defined(__i386__) || defined(__x86_64__)
inline void QwCpuRelax(void) { __builtin_ia32_pause(); }
#else
inline void QwCpuRelax(void) {}
#endif

// The current calendar time, in seconds since 1970 (UTC). On Windows it is read
// from the system clock directly: the C runtime's time() also looks up the time
// zone at every call, which under Wine costs microseconds.
time_t QwSystemClock(void);

// Converts tClock to local time in *pTm without shared state. TRUE on success.
BOOL QwLocalTime(const time_t* pClock, struct tm* pTm);

// Formats pszPiece, one conversion of wvsprintfA's language ("%-#0" flags in
// that order, width, precision, a size of "l", "h", "w", "I64", "I32" or "I",
// one of the types "cCdipsSuxX"), with the one argument args holds, into pszBuf
// (nBufSize bytes, at least 1025), always terminated. On Windows this is
// wvsprintfA; elsewhere the C library's text for the same argument, with the
// Microsoft sizes read as Windows reads them ("I64" 64 bits, "I32" 32, "I" a
// pointer's width, "h" a narrow and "l" or "w" a wide string or character), and
// a wide character the locale cannot encode written as '?'. Gives the length of
// the text, zero bytes in it (a %c of 0) included.
size_t QwFormatPiece(char* pszBuf, size_t nBufSize, const char* pszPiece, va_list args);

// TRUE when every byte of [pData, pData + nSize) can be read, found out without
// touching the memory. A count of 0 is readable whatever the pointer.
BOOL QwIsReadable(const void* pData, unsigned int nSize);

// ---- paths and folders (Win32Files.cpp, PosixFiles.cpp) ----------------------
// Paths inside the library are narrow: UTF-8 on Windows, where every file-system
// call is the wide one (paths past the classic limit take the \\?\ form), and
// the bytes the system uses on POSIX.

// The host executable's full path into pszPath, with the contract of
// GetModuleFileNameA: the length stored, nSize when the path was cut, 0 on failure.
DWORD QwExePath(char* pszPath, DWORD nSize);

// Converts a name given to Open (text of the ANSI code page on Windows) into
// the library's path text. FALSE when it holds a byte sequence the code page
// does not define.
BOOL QwNameToPath(const char* pszName, std::string& strPath);

// TRUE when strPath names a folder from the root (or a drive) rather than
// from the current folder.
BOOL QwIsAbsolutePath(const std::string& strPath);

// The per-user folder for state that has no other home: %LOCALAPPDATA%\Quillwork
// or $XDG_STATE_HOME/quillwork ($HOME/.local/state/quillwork). FALSE when the
// environment names none. A privileged process (setuid or setgid, AT_SECURE on
// POSIX) reads no environment and has none.
BOOL QwUserStateFolder(std::string& strFolder);

enum QW_FOUND { QW_FOUND_DIR, QW_FOUND_NONE, QW_FOUND_ERROR };

// Whether strPath is a folder (a link to one counts): QW_FOUND_DIR; nothing or
// something else by that name: QW_FOUND_NONE; the look-up itself failed (no
// access, no memory): QW_FOUND_ERROR. Names compare as the file system does
// (without regard to case on Windows).
QW_FOUND QwFindFolder(const std::string& strPath);

// Makes the folder strPath (its parent must exist). TRUE when it was made.
BOOL QwMakeFolder(const std::string& strPath);

// One entry of a folder listing, links not followed.
struct QW_ENTRY
{
    // OTHER: links, junctions, devices, and anything on another mount than the
    // listed folder (another device, or a mount point of the same file system).
    enum { FILE_ENTRY, FOLDER_ENTRY, OTHER_ENTRY };
    std::string strName;
    int nKind;
    time_t tWritten;
    unsigned long long nSize;
};

// Lists the entries of strFolder ("." and ".." left out) into entries. With
// bNoLink the folder itself must not be a link. FALSE when it cannot be read.
BOOL QwListFolder(const std::string& strFolder, BOOL bNoLink, std::vector<QW_ENTRY>& entries);

// Removes the regular file strFile of the sub-folder strSub of strFolder,
// provided strSub is a folder of the same mount as strFolder and not a link or
// junction, and strFile is a plain file with one link inside it that no log
// object of any process holds open (POSIX: it can be locked exclusively;
// Windows: opening it for deletion meets no sharing violation). The check and
// the removal act on the same open file, so a folder swapped in between sends
// nothing outside. TRUE when it was removed.
BOOL QwRemoveFileIn(const std::string& strFolder, const std::string& strSub, const std::string& strFile);

// Removes the sub-folder strSub of strFolder when it is an empty folder of the
// same mount (never a link or junction). TRUE when it was removed.
BOOL QwRemoveEmptyFolderIn(const std::string& strFolder, const std::string& strSub);

// The configuration file strIni when it is a regular file of at most 64 KiB:
// the integer of pszKey in pszSection (nDefault when missing), or its text.
// A FIFO, a device, a folder, a link to one of them or a larger file reads as
// a missing file; reading never blocks.
int QwProfileInt(const std::string& strIni, const char* pszSection, const char* pszKey, int nDefault);
BOOL QwProfileString(const std::string& strIni, const char* pszSection, const char* pszKey, std::string& strValue);

// Opens (or creates) pszPath for appending and reading, unbuffered, so that each
// fwrite is one write to the end of the file, whoever else appends to it: O_APPEND
// on POSIX; on Windows a handle with FILE_APPEND_DATA and no FILE_WRITE_DATA,
// shared for reading and writing. A link (symbolic link, junction, reparse
// point) at pszPath is never followed, and only a regular file with one link
// is used: a FIFO or device there is refused without blocking. While open the
// file cannot be removed by the cleaning of any object of any process (POSIX:
// a shared flock held on it; Windows: no delete sharing). NULL when it cannot
// be opened or is refused.
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

// The size in bytes of the file open behind pFile, as the file system has it
// now (appends of other writers included); 0 when it cannot be read.
unsigned long long QwFileSize(FILE* pFile);

// Gives the next part of a run of appends: sets *pp to its bytes and returns its
// length; 0 when the run is over.
typedef size_t (*PFN_QWNEXTPART)(void* pContext, const char** pp);

// Appends the parts pfnNext gives to the file behind pFile, one write each, back
// to back: the process's append guard is held across the whole run, so no append
// of this process lands between two parts (another process may). TRUE when every
// part reached the file. At the first part that does not reach it whole the run
// stops, and the bytes the run left at the end of the file are cut off again, as
// QwAppendWhole cuts a short write: only while the file still ends where the
// run's last write left it, and only back to the last bytes another writer put
// between two parts, never further.
BOOL QwAppendRun(FILE* pFile, PFN_QWNEXTPART pfnNext, void* pContext);

// Writes a report to the platform's debug channel: OutputDebugStringA on Windows;
// on POSIX standard error, only while QUILLWORK_DEBUG is set (never in a
// privileged process, which reads no environment), each report ending its line.
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

// ---- stable storage and the developer channel (*Sync.cpp, *Echo.cpp) -------

// Waits until the bytes written to pFile, and what is needed to read them back
// (its size), are on stable storage: fdatasync on POSIX, FlushFileBuffers on
// Windows. TRUE when the system says they are.
BOOL QwSyncFile(FILE* pFile);

// Waits until the names made in the folder strFolder (files and folders created
// in it) are on stable storage: fsync of the folder on POSIX; on Windows
// FlushFileBuffers on a handle of the folder. TRUE when the system says they are.
BOOL QwSyncFolder(const std::string& strFolder);

// Sends nLen bytes of entry text (the file's bytes) to the developer channel in
// one call, control characters shown as the console mirror shows them: on
// Windows converted from the ANSI code page and given to OutputDebugStringW; on
// POSIX one write to standard error (nothing when standard error is pLog's own
// descriptor or, open for reading and appending, another log). Never blocks on
// a full non-blocking channel: what it cannot take is dropped.
void QwEchoText(FILE* pLog, const char* p, size_t nLen);

#endif
