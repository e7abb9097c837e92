// POSIX stand-ins for the Win32 calls the library makes, with the meaning the
// library relies on and nothing more. Each is implemented in Posix/*.cpp.
#ifndef QUILLWORK_WIN32POSIX_H
#define QUILLWORK_WIN32POSIX_H

#include <pthread.h>
#include <stddef.h>
#include <stdint.h>

#ifndef BOOL
typedef int BOOL;
#endif
typedef uint32_t DWORD;
typedef uint16_t WORD;
typedef unsigned int UINT;
typedef short SHORT;
typedef void* HANDLE;
typedef void* HMODULE;
typedef struct HWND__* HWND;
typedef struct HMENU__* HMENU;

#define WINAPI
#define TRUE 1
#define FALSE 0
#define MAX_PATH 260
#define STD_INPUT_HANDLE ((DWORD)-10)
#define STD_OUTPUT_HANDLE ((DWORD)-11)
#define CTRL_C_EVENT 0
#define CTRL_BREAK_EVENT 1
#define CTRL_CLOSE_EVENT 2
#define ENABLE_QUICK_EDIT_MODE 0x0040
#define ENABLE_EXTENDED_FLAGS 0x0080
#define SC_CLOSE 0xF060
#define MF_BYCOMMAND 0x0000
#define MF_ENABLED 0x0000
#define MF_GRAYED 0x0001
#define MF_DISABLED 0x0002
#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)

struct COORD { SHORT X; SHORT Y; };
struct SMALL_RECT { SHORT Left; SHORT Top; SHORT Right; SHORT Bottom; };
struct CONSOLE_SCREEN_BUFFER_INFO
{
    COORD dwSize;
    COORD dwCursorPosition;
    WORD wAttributes;
    SMALL_RECT srWindow;
    COORD dwMaximumWindowSize;
};
typedef BOOL (*PHANDLER_ROUTINE)(DWORD dwCtrlType);

// A recursive lock, as a Windows critical section is; with a spin count, a
// thread that finds it taken tries again that many times before it sleeps.
struct CRITICAL_SECTION { pthread_mutex_t mtx; DWORD nSpin; };

void InitializeCriticalSection(CRITICAL_SECTION* pcs);
BOOL InitializeCriticalSectionAndSpinCount(CRITICAL_SECTION* pcs, DWORD nSpin);
void EnterCriticalSection(CRITICAL_SECTION* pcs);
void LeaveCriticalSection(CRITICAL_SECTION* pcs);
void DeleteCriticalSection(CRITICAL_SECTION* pcs);

// The executable's path from /proc/self/exe, read whole; the count of bytes
// stored, nSize when the path was cut (as Windows does), 0 on failure.
DWORD GetModuleFileNameA(HMODULE hModule, char* pszPath, DWORD nSize);
// Reads an integer from an INI file with the Windows reading rules.
UINT GetPrivateProfileIntA(const char* pszSection, const char* pszKey, int nDefault, const char* pszFile);

int lstrlenA(const char* psz);
// Single-byte reverse search: the POSIX build reads text as UTF-8, where no
// byte of a multibyte character equals an ASCII separator.
unsigned char* _mbsrchr(const unsigned char* psz, unsigned int c);
unsigned char* _mbschr(const unsigned char* psz, unsigned int c);
void OutputDebugStringA(const char* psz);

// The console: the controlling terminal stands in for an allocated console.
// AllocConsole succeeds once while the process has a controlling terminal and
// FreeConsole ends that; the process holds no descriptor for it. Each showing
// object writes through a descriptor of its own (QwOpenConsoleOutput, Platform.h),
// which is the handle the calls below take. There is no standard console handle,
// no window, no saved state and no console mode; control events are the terminal's
// own signals, left to the host.
BOOL AllocConsole(void);
BOOL FreeConsole(void);
HANDLE GetStdHandle(DWORD nStdHandle);
BOOL SetConsoleScreenBufferSize(HANDLE hOut, COORD size);
BOOL SetConsoleWindowInfo(HANDLE hOut, BOOL bAbsolute, const SMALL_RECT* pRect);
BOOL SetConsoleTextAttribute(HANDLE hOut, WORD wAttr);
BOOL GetConsoleScreenBufferInfo(HANDLE hOut, CONSOLE_SCREEN_BUFFER_INFO* pInfo);
BOOL GetConsoleMode(HANDLE hConsole, DWORD* pnMode);
BOOL SetConsoleMode(HANDLE hConsole, DWORD nMode);
BOOL SetConsoleCtrlHandler(PHANDLER_ROUTINE pfnHandler, BOOL bAdd);
DWORD GetConsoleTitleA(char* pszTitle, DWORD nSize);
HWND FindWindowA(const char* pszClass, const char* pszWindow);
HMENU GetSystemMenu(HWND hWnd, BOOL bRevert);
BOOL EnableMenuItem(HMENU hMenu, UINT nItem, UINT nFlags);
UINT GetMenuState(HMENU hMenu, UINT nItem, UINT nFlags);
// The SGR sequence that stands for a console attribute (nSize at least 24): a reset
// to the terminal's own colours, the foreground unless it is the normal colour 7,
// the background unless it is black.
void QwConsoleSgr(WORD wAttr, char* pszSgr, size_t nSize);

#endif
