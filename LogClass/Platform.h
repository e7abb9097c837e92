// The library's one seam to the operating system. The core (LogClass/) calls
// the operating system only through the functions declared here, and sees no
// system header behind them. Posix/ and Win32/ implement them, one file per
// topic with the same name on both sides: Clock, Charset, Format, Memory,
// Files, Profile, Append, System, Console, Sync, Echo, Thread, Crash (the file of each group
// is named in its heading). Every function is safe to call from any thread
// unless its contract says otherwise.
#ifndef QUILLWORK_PLATFORM_H
#define QUILLWORK_PLATFORM_H

#include <stddef.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <time.h>

#include <string>
#include <vector>

// ---- types and constants ----------------------------------------------------
// The integer types of the object's interface and members, as the Windows API
// spells them (and with the same definitions there, so a Windows file may
// include both this header and <windows.h>).
typedef int BOOL;
typedef unsigned short WORD;
#ifndef TRUE
#  define TRUE 1
#endif
#ifndef FALSE
#  define FALSE 0
#endif

#if defined(_WIN32)
typedef unsigned long DWORD;
#  define QW_PATH_SEP '\\'
#  define QW_PATH_SEP_STR "\\"
#  define QW_DRIVE_COLON 1
#  define QW_EXE_EXTENSION 1
// What a host passes for a "long double" argument: Windows programs pass a double.
typedef double QW_LONG_DOUBLE;
#else
typedef uint32_t DWORD;
#  define QW_PATH_SEP '/'
#  define QW_PATH_SEP_STR "/"
#  define QW_DRIVE_COLON 0
#  define QW_EXE_EXTENSION 0
typedef long double QW_LONG_DOUBLE;
#endif

// The classic length of a path buffer: the first size tried for the host's path.
enum { QW_MAX_PATH = 260 };

// Tells the processor that the thread spins waiting for another (a pause on
// x86, which spares the sibling hardware thread); nothing elsewhere.
#if defined(__i386__) || defined(__x86_64__)
inline void QwCpuRelax(void) { __builtin_ia32_pause(); }
#else
inline void QwCpuRelax(void) {}
#endif

// ---- the clock (Clock) ------------------------------------------------------

// The current calendar time, in seconds since 1970 (UTC). On Windows it is read
// from the system clock directly: the C runtime's time() also looks up the time
// zone at every call, which under Wine costs microseconds.
time_t QwSystemClock(void);

// Converts *pClock to local time in *pTm without shared state. TRUE on success.
BOOL QwLocalTime(const time_t* pClock, struct tm* pTm);

// One reading of the calendar clock: seconds since 1970 (UTC) and the
// nanoseconds past that second (0 to 999,999,999).
struct QW_CLOCK_READING
{
    time_t tSeconds;
    long nNanos;
};

// The calendar time to below the second, seconds and fraction from one reading:
// clock_gettime(CLOCK_REALTIME) on POSIX; on Windows the system's precise time
// (GetSystemTimePreciseAsFileTime, 100 ns), or its plain time where the system
// has no precise one.
void QwSystemClockPrecise(QW_CLOCK_READING* pNow);

// The calling thread's id as the system numbers it: gettid() on Linux,
// GetCurrentThreadId() on Windows. Never fails.
DWORD QwSystemThreadId(void);

// ---- the lock (Thread) ------------------------------------------------------

// The object's lock, a standard one: a pthread mutex on POSIX, a critical
// section on Windows. Not recursive: a thread takes it once and gives it back
// before it takes it again. Storage only, made by QwInitLock and ended by
// QwDeleteLock. Never copied.
struct QW_LOCK
{
    alignas(8) unsigned char abStorage[64];
};

// Makes the lock in *pLock. FALSE when the system could not make it (the lock
// is then unusable).
BOOL QwInitLock(QW_LOCK* pLock);
// Takes the lock, waiting as long as another thread holds it.
void QwEnterLock(QW_LOCK* pLock);
// TRUE, the lock taken, when no other thread holds it now; FALSE at once when
// one does.
BOOL QwTryEnterLock(QW_LOCK* pLock);
// Gives back the lock the calling thread took.
void QwLeaveLock(QW_LOCK* pLock);
// Ends a lock no thread holds or waits for.
void QwDeleteLock(QW_LOCK* pLock);

// ---- the host's threads and processes (Thread) ------------------------------

// Keeps the calling thread from being cancelled (POSIX pthread_cancel, which
// would otherwise act inside the library's writes, opens and closes and unwind
// through them) until QwRestoreCancel gives back the state QwHoldCancel
// returned; a cancellation asked for meanwhile acts at the host's next
// cancellation point after the library's call. Nothing on Windows.
int QwHoldCancel(void);
void QwRestoreCancel(int nState);

// Keeps the calling thread uncancellable for one scope: the first thing each
// public call of the library makes.
class CQwNoCancel
{
public:
    CQwNoCancel() : m_nState(QwHoldCancel()) {}
    ~CQwNoCancel() { QwRestoreCancel(m_nState); }

private:
    CQwNoCancel(const CQwNoCancel&);
    CQwNoCancel& operator=(const CQwNoCancel&);
    int m_nState;
};

// Has the process call pfnPrepare before each fork() (in the forking thread),
// then pfnParent in the parent and pfnChild in the child, once the fork is
// done (pthread_atfork). Called once; nothing on Windows, which has no fork.
void QwOnFork(void (*pfnPrepare)(void), void (*pfnParent)(void), void (*pfnChild)(void));

// ---- text of the ANSI code page (Charset) -----------------------------------

// The first (QwFindChar) or last (QwFindLastChar) byte c of the zero-terminated
// text psz, c being an ASCII character; NULL when there is none. On Windows the
// text is read as the ANSI code page reads it, so the trail byte of a double-byte
// character never counts as c; elsewhere the text is UTF-8 (or a single-byte
// charset), where no byte of a multibyte character equals an ASCII character.
const char* QwFindChar(const char* psz, char c);
const char* QwFindLastChar(const char* psz, char c);

// ---- one conversion of a message (Format) -----------------------------------

// Formats pszPiece, one conversion of wvsprintfA's language ("%-#0" flags in
// that order, width, precision, a size of "l", "h", "w", "I64", "I32" or "I",
// one of the types "cCdipsSuxX"), with the one argument args holds, into pszBuf
// (nBufSize bytes, at least 1025), always terminated, when the platform has a
// text of its own for it: on Windows this is wvsprintfA, TRUE, the length of
// the text, zero bytes in it (a %c of 0) included, in *pnLen. FALSE elsewhere,
// nothing written: the core lays the conversion out as the C library does.
BOOL QwFormatPiece(char* pszBuf, size_t nBufSize, const char* pszPiece, va_list args, size_t* pnLen);

// Converts wide text to the narrow text messages hold (the locale's multibyte
// encoding on POSIX, the ANSI code page on Windows): nCount characters of pwsz,
// zero ones included, or, when nCount is (size_t)-1, those before its
// terminator. A character the encoding lacks becomes '?'. Writes at most
// nSize bytes at pBuf, no terminator, and never part of a character; gives how
// many it wrote.
size_t QwNarrowText(char* pBuf, size_t nSize, const wchar_t* pwsz, size_t nCount);

// ---- memory the host passes (Memory) ----------------------------------------

// TRUE when every byte of [pData, pData + nSize) can be read, found out without
// touching the memory. A count of 0 is readable whatever the pointer.
BOOL QwIsReadable(const void* pData, unsigned int nSize);

// ---- paths and folders (Files) ----------------------------------------------
// Paths inside the library are narrow: UTF-8 on Windows, where every file-system
// call is the wide one (paths past the classic limit take the \\?\ form), and
// the bytes the system uses on POSIX.

// Converts a name given to Open (text of the ANSI code page on Windows) into
// the library's path text. FALSE when it holds a byte sequence the code page
// does not define.
BOOL QwNameToPath(const char* pszName, std::string& strPath);

// TRUE when strPath names a folder from the root (or a drive) rather than
// from the current folder.
BOOL QwIsAbsolutePath(const std::string& strPath);

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
// object of any process holds open (POSIX: no writer's live mark is on it and
// the mark range can be locked against new ones, which a reader's lock does
// not hinder; a file system without locks keeps every file; Windows: opening
// it for deletion meets no sharing violation). The check and
// the removal act on the same open file, so a folder swapped in between sends
// nothing outside. TRUE when it was removed.
BOOL QwRemoveFileIn(const std::string& strFolder, const std::string& strSub, const std::string& strFile);

// Removes the sub-folder strSub of strFolder when it is an empty folder of the
// same mount (never a link or junction). TRUE when it was removed.
BOOL QwRemoveEmptyFolderIn(const std::string& strFolder, const std::string& strSub);

// ---- the configuration file (Profile) ---------------------------------------

// What reading a settings file gave.
enum QW_SETTINGS_FILE { QW_SETTINGS_READ, QW_SETTINGS_MISSING, QW_SETTINGS_UNREADABLE };

// Whether the settings text is read as the Windows reader reads it (the first
// section of a name only, 0b and 0o numbers): on Windows, where the system's
// own reader read it before the library parsed it itself.
#if defined(_WIN32)
const bool QW_PROFILE_WINDOWS = true;
#else
const bool QW_PROFILE_WINDOWS = false;
#endif

// Reads the settings file strPath whole into strText, as UTF-8 (on Windows a
// UTF-16 file with its byte-order mark and an ANSI file are converted, as the
// system's reader takes them). QW_SETTINGS_MISSING when nothing is at the name (a
// dangling link included); QW_SETTINGS_UNREADABLE, with the system's reason in strWhy,
// when something is there but is not a regular file of at most 64 KiB that can
// be read. Reading never blocks: a FIFO or device is refused unopened.
QW_SETTINGS_FILE QwReadSettingsFile(const std::string& strPath, std::string& strText, std::string& strWhy);

// The value of QUILLWORK_INI; FALSE when unset or empty, and always in a
// privileged process (setuid or setgid, AT_SECURE on POSIX).
BOOL QwSettingsVariable(std::string& strValue);

// The system's folder of settings files: /etc/quillwork on POSIX,
// %ProgramData%\Quillwork on Windows. FALSE when the system names none.
BOOL QwSystemSettingsFolder(std::string& strFolder);

// The system's reason for the last call of this thread that failed (strerror
// of errno on POSIX, FormatMessage of GetLastError on Windows), read before
// anything else can change it.
std::string QwLastErrorText(void);

// ---- the log file (Append) --------------------------------------------------

// Opens (or creates) pszPath for appending and reading, unbuffered, so that each
// fwrite is one write to the end of the file, whoever else appends to it: O_APPEND
// on POSIX; on Windows a handle with FILE_APPEND_DATA and no FILE_WRITE_DATA,
// shared for reading and writing. A link (symbolic link, junction, reparse
// point) at pszPath or at the folder that holds it is never followed: that
// folder must be a real folder on its parent's mount, and only a regular file
// with one link is used (a FIFO or device there is refused without blocking).
// A file already at the name is used only when it belongs to the process's
// effective user (POSIX; a new one is made exclusively), so no other user of a
// shared folder can plant the file the host writes to. While open the file
// cannot be removed by the cleaning of any object of any process (POSIX: a
// write lock of the file's own range held on it, which only a writer can take;
// where the file system has no locks the file is written without it; Windows:
// no delete sharing). NULL when it cannot be opened or is refused; then
// *pstrWhy, when given, says why.
FILE* QwOpenAppend(const char* pszPath, std::string* pstrWhy = NULL);

// Appends to the log file go through these primitives; what is cut back after a
// short write, and when, is CLogAppend's (LogAppend.h). Every append of the
// process and every cut respect one guard, so no append of this process falls
// between a cut's check and the cut, or between two parts of a run.

// Counts an append of this process in, waiting while the guard is held
// (QwHoldAppends). POSIX: two atomic operations; Windows: enters the append lock.
void QwBeginAppend(void);

// Counts the append QwBeginAppend began out again.
void QwEndAppend(void);

// Holds the append guard: waits until no append of the process is under way,
// and holds later ones back until QwReleaseAppends. Holds exclude each other.
void QwHoldAppends(void);

// From inside an append (after QwBeginAppend): ends it and holds the guard, as
// QwEndAppend then QwHoldAppends. On Windows no other append of the process
// comes between the two (the append lock is kept); on POSIX one may.
void QwHoldAfterAppend(void);

// Gives back the guard QwHoldAppends or QwHoldAfterAppend took.
void QwReleaseAppends(void);

// Writes nLen bytes of p to the end of the file behind pFile: one write(2),
// retried when a signal interrupts it before any byte went; on Windows one
// WriteFile on the stream's append-only handle, past the C runtime (which may
// split a count into two writes), unless the count passes what a DWORD holds.
// Gives the bytes written, 0 on failure.
size_t QwWriteOnce(FILE* pFile, const char* p, size_t nLen);

// Where the last write through pFile ended: the descriptor's offset after an
// O_APPEND write, the handle's position on Windows; -1 when it cannot be read.
long long QwWriteEnd(FILE* pFile);

// Shortens the file behind pFile to nSize bytes, but only while it is still
// nSizeNow bytes long (read just before the cut; on Windows, where the
// append-only handle may not shorten the file, a second handle of the same
// file does the cut and reads the size again).
void QwCutFile(FILE* pFile, unsigned long long nSize, unsigned long long nSizeNow);

// The size in bytes of the file open behind pFile, as the file system has it
// now (appends of other writers included); 0 when it cannot be read.
unsigned long long QwFileSize(FILE* pFile);

// ---- the process (System) ---------------------------------------------------

// The host executable's full path into pszPath (nSize bytes): the length
// stored, nSize when the path was cut (the buffer then holds a cut path), 0 on
// failure. UTF-8 on Windows; on POSIX the bytes of /proc/self/exe's target.
DWORD QwExePath(char* pszPath, DWORD nSize);

// The per-user folder for state that has no other home: %LOCALAPPDATA%\Quillwork
// or $XDG_STATE_HOME/quillwork ($HOME/.local/state/quillwork). FALSE when the
// environment names none. A privileged process (setuid or setgid, AT_SECURE on
// POSIX) reads no environment and has none.
BOOL QwUserStateFolder(std::string& strFolder);

// Writes a report to the platform's debug channel: OutputDebugStringA on Windows;
// on POSIX standard error, only while QUILLWORK_DEBUG is set (never in a
// privileged process, which reads no environment), each report ending its line.
void QwDebugOutput(const char* pszText);

// ---- the console (Console) --------------------------------------------------
// The process has at most one console; on POSIX the controlling terminal stands
// in for it, with no window, no saved state and no input mode (the calls about
// those report failure and change nothing). Every call takes a NULL output and
// then does nothing (FALSE where it gives a BOOL).

// One output of the console. On POSIX each showing object writes through a
// terminal descriptor of its own (QwOpenConsoleOutput), opened non-blocking
// when its mirror comes on and closed when it goes off, so no object can ever
// write through a number another has closed; on Windows objects have none and
// write through the process's standard output (QwStdOutput).
typedef struct QW_OUTPUT_* QW_OUTPUT;
// The console's window, and its system menu.
typedef struct QW_WINDOW_* QW_WINDOW;
typedef struct QW_MENU_* QW_MENU;

// A size or position in character cells.
struct QW_CELLS
{
    short nX;
    short nY;
};

// A rectangle of the screen buffer in character cells, its edges included.
struct QW_RECT
{
    short nLeft;
    short nTop;
    short nRight;
    short nBottom;
};

// What a console shows: its buffer size, the window on the buffer and the text
// attribute of what is written next.
struct QW_CONSOLE_STATE
{
    QW_CELLS size;
    QW_RECT window;
    WORD wAttr;
};

// The states of the window's Close item (bits; enabled is none of them).
enum { QW_CLOSE_ENABLED = 0x0000, QW_CLOSE_GRAYED = 0x0001, QW_CLOSE_DISABLED = 0x0002 };
// What QwCloseItemState gives when there is no menu or item.
const unsigned int QW_NO_CLOSE_STATE = (unsigned int)-1;

// Bits of the console's input mode: QuickEdit (a click selects text and stops
// every write until the selection ends) and the flag that makes it settable.
enum { QW_INPUT_QUICK_EDIT = 0x0040, QW_INPUT_EXTENDED_FLAGS = 0x0080 };

// The control events a console handler receives.
enum QW_CONTROL { QW_CONTROL_C, QW_CONTROL_BREAK, QW_CONTROL_OTHER };
// A console handler: TRUE when it took the event (no other handler sees it).
typedef BOOL (*PFN_QWCONTROL)(QW_CONTROL nEvent);

// Makes a console for the process. FALSE when the process already has one (or,
// on POSIX, has no controlling terminal, or the library already made it).
BOOL QwAllocConsole(void);
// Frees the console the process has. TRUE when it had one.
BOOL QwFreeConsole(void);
// The process's standard output; NULL on POSIX, where there is none to share.
QW_OUTPUT QwStdOutput(void);
// Sets the buffer's size in cells. TRUE when the console took it (POSIX:
// accepted for a terminal output, nothing changes).
BOOL QwSetConsoleBuffer(QW_OUTPUT hOut, QW_CELLS size);
// Sets the window on the buffer (absolute cells). TRUE when the console took it.
BOOL QwSetConsoleWindow(QW_OUTPUT hOut, const QW_RECT* pRect);
// Sets the text attribute (console colour bits: foreground 0-3, background 4-7)
// of what is written next. POSIX: an SGR sequence, plain text when NO_COLOR is
// set or TERM=dumb.
BOOL QwSetConsoleColour(QW_OUTPUT hOut, WORD wAttr);
// What the console shows now, into *pState. FALSE when it cannot be read.
BOOL QwConsoleState(QW_OUTPUT hOut, QW_CONSOLE_STATE* pState);
// The console's title into pszTitle (nSize bytes), terminated; its length, 0
// when there is none.
DWORD QwConsoleTitle(char* pszTitle, DWORD nSize);
// The console window showing the title pszTitle; NULL when none.
QW_WINDOW QwFindConsoleWindow(const char* pszTitle);
// The system menu of hWnd; NULL when none.
QW_MENU QwSystemMenu(QW_WINDOW hWnd);
// Puts the Close item of hMenu in nState (QW_CLOSE_*). Its state before, as
// QwCloseItemState gives it, or (DWORD)-1 when the item does not exist.
DWORD QwEnableCloseItem(QW_MENU hMenu, unsigned int nState);
// The state bits of the Close item of hMenu; QW_NO_CLOSE_STATE when none.
unsigned int QwCloseItemState(QW_MENU hMenu);
// The input mode of the console (QW_INPUT_* bits among others) into *pnMode,
// and its change. FALSE when there is no console input.
BOOL QwInputMode(DWORD* pnMode);
BOOL QwSetInputMode(DWORD nMode);
// Adds (bAdd) or removes the process's console handler pfn: while added, the
// console's control events reach it. TRUE when the console took the change.
BOOL QwSetControlHandler(PFN_QWCONTROL pfn, BOOL bAdd);
// The output of one showing object; NULL where the platform has none or it
// cannot be opened (then QwStdOutput is the object's output).
QW_OUTPUT QwOpenConsoleOutput(void);
// Closes what QwOpenConsoleOutput gave, putting out what it gathered.
void QwCloseConsoleOutput(QW_OUTPUT hOut);
// Between these two, the colour changes and text given to hOut are gathered and
// put out together (POSIX: in one write where they fit); elsewhere they go at once.
void QwBeginConsoleBatch(QW_OUTPUT hOut);
void QwEndConsoleBatch(QW_OUTPUT hOut);
// Writes nCount bytes of narrow text (the ANSI code page on Windows, converted
// and written wide; on POSIX the bytes as they are, never blocking: what the
// terminal cannot take now is dropped), control characters shown as escapes.
// TRUE when all of it went out.
BOOL QwWriteConsoleText(QW_OUTPUT hOut, const char* pszText, DWORD nCount);

// ---- stable storage and the developer channel (Sync, Echo) ------------------

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
// POSIX one write to standard error as lines ending in LF (each CR LF as LF,
// the entry's empty closing line left out; nothing when standard error is pLog's own
// descriptor or, open for reading and appending, another log). Never blocks on
// a full non-blocking channel: what it cannot take is dropped. A channel whose
// reader has gone fails without raising SIGPIPE.
void QwEchoText(FILE* pLog, const char* p, size_t nLen);

// ---- the crash handler (Crash) ----------------------------------------------
// [LOG] CRASH=1 (CCrashReport). POSIX: handlers of SIGSEGV, SIGBUS, SIGILL,
// SIGFPE, SIGABRT and SIGTRAP on an alternate stack; Windows: an unhandled-
// exception filter. Both report, then let the crash go on as it would have.

// One frame of the crashed thread's stack: the module it lies in (its file name,
// not terminated, pszModule NULL when none is known), the offset from the
// module's load address, and a symbol where the crash path can name one.
struct QW_CRASH_FRAME
{
    uintptr_t nAddress;
    const char* pszModule;
    size_t nModuleLen;
    uintptr_t nOffset;
    const char* pszSymbol;  // zero-terminated, or NULL
    size_t nSymbolLen;
    uintptr_t nSymbolOffset;
};

// What the crash handler found out about one crash.
struct QW_CRASH_FACTS
{
    const char* pszName;     // "SIGSEGV", "EXCEPTION_ACCESS_VIOLATION", "unknown"
    unsigned long nCode;     // the signal number or exception code
    const char* pszDetail;   // what the code says more ("address not mapped"), or NULL
    bool bAddress;           // nAddress is the faulting address
    uintptr_t nAddress;
    DWORD nThread;           // the crashed thread, as QwSystemThreadId numbers it
    const QW_CRASH_FRAME* pFrames;  // the stack from the faulting instruction on
    size_t nFrames;
    bool bLock;              // take each object's lock around its entry
    bool bHold;              // ... and keep it: the process ends right after
    const void* pContext;    // the platform's record of the crash (for a dump)
};

// Called by the handler on the crashed thread, once per crash.
typedef void (*PFN_QWCRASH)(const QW_CRASH_FACTS& facts);
// Called by the handler when the process goes on after all (a host's filter
// continued it): gives back what the report held (facts.bHold).
typedef void (*PFN_QWRESUME)(void);

// Installs the process's crash handler, which calls pfnReport (and pfnResume
// where the process goes on) and then lets the crash go on: to the handler the
// host had installed before, else as the system ends the process (the same
// signal and core dump; the same exception). On
// POSIX the calling thread also gets an alternate stack when it has none, so a
// stack overflow there is reported. FALSE when the system refused it.
BOOL QwInstallCrashHandler(PFN_QWCRASH pfnReport, PFN_QWRESUME pfnResume);

// Removes the crash handler where it is still the process's (a handler the host
// installed after it stays), the one before it coming back.
void QwRemoveCrashHandler(void);

// TRUE while the crash handler QwInstallCrashHandler installed is the
// process's own for every signal (POSIX) or the unhandled-exception filter.
BOOL QwCrashHandlerActive(void);

// From the crash path: takes the object's lock *pLock, trying for a bounded
// while (POSIX 0.5 s, Windows 2 s: the crashed thread, or a thread stopped by
// the crash, may hold it). FALSE when it could not be had; the entry is then
// written without it.
BOOL QwCrashEnterLock(QW_LOCK* pLock);

// An append of nLen bytes of p to the file behind pFile; TRUE when all of
// them reached it.
typedef BOOL (*PFN_QWAPPEND)(FILE* pFile, const char* p, size_t nLen);

// From the crash path: appends nLen bytes to the file behind pFile in one
// write. POSIX: write(2) on its descriptor, no lock and no memory taken
// (pfnGuarded is not called); Windows: pfnGuarded, the append every entry
// takes (the filter runs in the thread's normal context, where the append
// guard may be taken). TRUE when all of them were written.
BOOL QwCrashAppend(FILE* pFile, const char* p, size_t nLen, PFN_QWAPPEND pfnGuarded);

// From the crash path: writes what the platform keeps of a crash beside the log
// file behind pFile (Windows: a minidump "HHMMSS_name.dmp" of the crash time and
// the log's name, through dbghelp loaded now); nothing on POSIX.
void QwCrashDump(FILE* pFile, const QW_CRASH_FACTS& facts);

#endif
