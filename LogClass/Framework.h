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
// Stores the host executable's full path (UTF-8 on Windows); returns as
// GetModuleFileNameA does.
typedef DWORD (*PFN_QWMODULEPATH)(char* pszPath, DWORD nSize);
// Allocates nSize bytes for a new object, NULL when there is no memory.
typedef void* (*PFN_QWALLOC)(size_t nSize);

// Sends pszText to the report sink (by default the platform's debug channel).
void QwReport(const char* pszText);
// Reports "file(line) : assertion failed" and lets the caller go on.
void QwAssertFailed(const char* pszFile, int nLine);
// The current calendar time, from the clock seam.
time_t QwTime(void);
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
PFN_QWMODULEPATH QwSetModulePath(PFN_QWMODULEPATH pfn);
PFN_QWALLOC QwSetAllocator(PFN_QWALLOC pfn);

// The console calls the console window makes, as one replaceable table.
struct QW_CONSOLE_API
{
    BOOL (WINAPI* AllocConsole)(void);
    BOOL (WINAPI* FreeConsole)(void);
    HANDLE (WINAPI* GetStdHandle)(DWORD nStdHandle);
    BOOL (WINAPI* SetConsoleScreenBufferSize)(HANDLE hOut, COORD size);
    BOOL (WINAPI* SetConsoleWindowInfo)(HANDLE hOut, BOOL bAbsolute, const SMALL_RECT* pRect);
    BOOL (WINAPI* SetConsoleTextAttribute)(HANDLE hOut, WORD wAttr);
    DWORD (WINAPI* GetConsoleTitleA)(char* pszTitle, DWORD nSize);
    // Narrow text as the file has it (QwWriteConsoleText: wide on Windows).
    BOOL (WINAPI* WriteConsoleText)(HANDLE hOut, const char* pszText, DWORD nCount);
    HWND (WINAPI* FindWindowA)(const char* pszClass, const char* pszWindow);
    HMENU (WINAPI* GetSystemMenu)(HWND hWnd, BOOL bRevert);
    BOOL (WINAPI* EnableMenuItem)(HMENU hMenu, UINT nItem, UINT nFlags);
    UINT (WINAPI* GetMenuState)(HMENU hMenu, UINT nItem, UINT nFlags);
    // The state of a console the process already had, saved and given back.
    BOOL (WINAPI* GetConsoleScreenBufferInfo)(HANDLE hOut, CONSOLE_SCREEN_BUFFER_INFO* pInfo);
    // The input mode (QuickEdit) of a console the library made.
    BOOL (WINAPI* GetConsoleMode)(HANDLE hConsole, DWORD* pnMode);
    BOOL (WINAPI* SetConsoleMode)(HANDLE hConsole, DWORD nMode);
    // Ctrl+C and Ctrl+Break in a console the library made.
    BOOL (WINAPI* SetConsoleCtrlHandler)(PHANDLER_ROUTINE pfnHandler, BOOL bAdd);
    // One object's own output and the gathering of one entry (Platform.h).
    HANDLE (WINAPI* OpenConsoleOutput)(void);
    void (WINAPI* CloseConsoleOutput)(HANDLE hOut);
    void (WINAPI* BeginConsoleBatch)(HANDLE hOut);
    void (WINAPI* EndConsoleBatch)(HANDLE hOut);
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
