// POSIX stand-ins for the Win32 calls the library makes, with the meaning the
// library relies on and nothing more. Each is implemented in Posix/*.cpp.
#ifndef QUILLWORK_WIN32POSIX_H
#define QUILLWORK_WIN32POSIX_H

#include <pthread.h>
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
#define STD_OUTPUT_HANDLE ((DWORD)-11)
#define SC_CLOSE 0xF060
#define MF_BYCOMMAND 0x0000
#define MF_ENABLED 0x0000
#define MF_GRAYED 0x0001
#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)

struct COORD { SHORT X; SHORT Y; };
struct SMALL_RECT { SHORT Left; SHORT Top; SHORT Right; SHORT Bottom; };

// A recursive lock, as a Windows critical section is.
struct CRITICAL_SECTION { pthread_mutex_t mtx; };

void InitializeCriticalSection(CRITICAL_SECTION* pcs);
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
BOOL AllocConsole(void);
BOOL FreeConsole(void);
HANDLE GetStdHandle(DWORD nStdHandle);
BOOL SetConsoleScreenBufferSize(HANDLE hOut, COORD size);
BOOL SetConsoleWindowInfo(HANDLE hOut, BOOL bAbsolute, const SMALL_RECT* pRect);
BOOL SetConsoleTextAttribute(HANDLE hOut, WORD wAttr);
DWORD GetConsoleTitleA(char* pszTitle, DWORD nSize);
BOOL WriteConsoleA(HANDLE hOut, const void* pText, DWORD nCount, DWORD* pnWritten, void* pReserved);
HWND FindWindowA(const char* pszClass, const char* pszWindow);
HMENU GetSystemMenu(HWND hWnd, BOOL bRevert);
BOOL EnableMenuItem(HMENU hMenu, UINT nItem, UINT nFlags);

#endif
