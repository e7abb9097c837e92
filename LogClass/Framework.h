// What the library's classes lean on besides the OS: assertion and trace
// reports, the clock, the host's path, the console calls and the object
// allocation. Each goes through a seam that tests can redirect.
#ifndef QUILLWORK_FRAMEWORK_H
#define QUILLWORK_FRAMEWORK_H

#include "Platform.h"

// Receives every assertion and trace report, zero-terminated.
typedef void (*PFN_QWREPORT)(const char* pszText);
// Gives the current calendar time.
typedef time_t (*PFN_QWTIME)(void);
// Stores the current calendar time, to below the second, in *pNow.
typedef void (*PFN_QWPRECISETIME)(QW_CLOCK_READING* pNow);
// Gives the calling thread's id.
typedef DWORD (*PFN_QWTHREADID)(void);
// Stores the host executable's full path (UTF-8 on Windows); returns as
// QwExePath does.
typedef DWORD (*PFN_QWMODULEPATH)(char* pszPath, DWORD nSize);
// Allocates nSize bytes for a new object, NULL when there is no memory.
typedef void* (*PFN_QWALLOC)(size_t nSize);

// Sends pszText to the report sink (by default the platform's debug channel).
void QwReport(const char* pszText);
// Reports "file(line) : assertion failed" and lets the caller go on.
void QwAssertFailed(const char* pszFile, int nLine);
// The current calendar time, from the clock seam.
time_t QwTime(void);
// The current calendar time with its fraction, from the sub-second clock seam:
// by default the system's precise clock, or the whole seconds of the clock seam
// (fraction 0) while a test has replaced that one and not this.
void QwPreciseTime(QW_CLOCK_READING* pNow);
// The calling thread's id, from the thread-id seam (by default the system's).
DWORD QwThreadId(void);
// Formats the current local time with the strftime format into pszBuf.
void QwFormatNow(char* pszBuf, size_t nBufSize, const char* pszFormat);
// The host executable's full path, from the module-path seam.
DWORD QwModulePath(char* pszPath, DWORD nSize);
// Memory for one object and its release (allocation can be made to fail).
void* QwAllocObject(size_t nSize);
void QwFreeObject(void* p);

// Each setter installs a replacement (NULL restores the default) and returns
// the one it replaced.
PFN_QWREPORT QwSetReportSink(PFN_QWREPORT pfn);
PFN_QWTIME QwSetClock(PFN_QWTIME pfn);
PFN_QWPRECISETIME QwSetPreciseClock(PFN_QWPRECISETIME pfn);
PFN_QWTHREADID QwSetThreadId(PFN_QWTHREADID pfn);
PFN_QWMODULEPATH QwSetModulePath(PFN_QWMODULEPATH pfn);
PFN_QWALLOC QwSetAllocator(PFN_QWALLOC pfn);

// The console calls the console window makes (Platform.h), as one replaceable table.
struct QW_CONSOLE_API
{
    BOOL (*AllocConsole)(void);
    BOOL (*FreeConsole)(void);
    QW_OUTPUT (*StdOutput)(void);
    BOOL (*SetConsoleBuffer)(QW_OUTPUT hOut, QW_CELLS size);
    BOOL (*SetConsoleWindow)(QW_OUTPUT hOut, const QW_RECT* pRect);
    BOOL (*SetConsoleColour)(QW_OUTPUT hOut, WORD wAttr);
    DWORD (*ConsoleTitle)(char* pszTitle, DWORD nSize);
    BOOL (*WriteConsoleText)(QW_OUTPUT hOut, const char* pszText, DWORD nCount);
    QW_WINDOW (*FindConsoleWindow)(const char* pszTitle);
    QW_MENU (*SystemMenu)(QW_WINDOW hWnd);
    DWORD (*EnableCloseItem)(QW_MENU hMenu, unsigned int nState);
    unsigned int (*CloseItemState)(QW_MENU hMenu);
    // The state of a console the process already had, saved and given back.
    BOOL (*ConsoleState)(QW_OUTPUT hOut, QW_CONSOLE_STATE* pState);
    // The input mode (QuickEdit) of a console the library made.
    BOOL (*InputMode)(DWORD* pnMode);
    BOOL (*SetInputMode)(DWORD nMode);
    // Ctrl+C and Ctrl+Break in a console the library made.
    BOOL (*SetControlHandler)(PFN_QWCONTROL pfn, BOOL bAdd);
    // One object's own output and the gathering of one entry.
    QW_OUTPUT (*OpenConsoleOutput)(void);
    void (*CloseConsoleOutput)(QW_OUTPUT hOut);
    void (*BeginConsoleBatch)(QW_OUTPUT hOut);
    void (*EndConsoleBatch)(QW_OUTPUT hOut);
};

// The table in use; the platform's own functions unless a test replaced them.
const QW_CONSOLE_API& QwConsole(void);
// Installs pApi (NULL restores the platform's functions).
void QwSetConsoleApi(const QW_CONSOLE_API* pApi);

// The calls of the two opt-in outputs, [LOG] SYNC=1 and ECHO=1 (Platform.h), as
// one replaceable table.
struct QW_OUTPUT_API
{
    BOOL (*SyncFile)(FILE* pFile);
    BOOL (*SyncFolder)(const std::string& strFolder);
    void (*EchoText)(FILE* pLog, const char* p, size_t nLen);
};

// The table in use; the platform's own functions unless a test replaced them.
const QW_OUTPUT_API& QwOutput(void);
// Installs pApi (NULL restores the platform's functions).
void QwSetOutputApi(const QW_OUTPUT_API* pApi);

// Reports a failed check with this file's name and the line; execution goes on.
#define QW_ASSERT(expr) \
    do { \
        if (!(expr)) \
            QwAssertFailed(THIS_FILE, __LINE__); \
    } while (0)

#endif
