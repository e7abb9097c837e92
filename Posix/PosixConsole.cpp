// The console stand-ins: the controlling terminal (/dev/tty) is the console.
// Colours are ANSI SGR sequences mapped from the console attribute bits, with
// 7 (the normal colour) as a reset; plain text when NO_COLOR is set or
// TERM=dumb. Sizes are accepted and change nothing; there is no window.
#include "Win32Posix.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <atomic>

namespace {

std::atomic<int> s_fdConsole(-1);

// The handle GetStdHandle gives for the terminal while it is the console.
HANDLE ConsoleHandle() { return (HANDLE)&s_fdConsole; }

// The terminal's descriptor when hOut is the console's handle, else -1.
int DescriptorOf(HANDLE hOut) { return hOut == ConsoleHandle() ? s_fdConsole.load() : -1; }

// Writes all nCount bytes to fd, retrying short writes. FALSE on an error.
bool WriteAll(int fd, const char* p, size_t nCount)
{
    while (nCount > 0) {
        ssize_t n = write(fd, p, nCount);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        nCount -= (size_t)n;
    }
    return true;
}

// FALSE when the user asked for plain text (NO_COLOR set, or TERM=dumb).
bool ColourWanted()
{
    const char* pszTerm = getenv("TERM");
    return getenv("NO_COLOR") == NULL && !(pszTerm != NULL && strcmp(pszTerm, "dumb") == 0);
}

// ANSI colour number (0..7) of the red, green and blue bits at nShift.
int AnsiColour(WORD wAttr, int nShift)
{
    int nBits = (wAttr >> nShift) & 7;
    return ((nBits & 4) ? 1 : 0) | ((nBits & 2) ? 2 : 0) | ((nBits & 1) ? 4 : 0);
}

} // namespace

BOOL AllocConsole(void)
{
    if (s_fdConsole.load() >= 0)
        return FALSE;
    int fd = open("/dev/tty", O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return FALSE;
    int nExpected = -1;
    if (!s_fdConsole.compare_exchange_strong(nExpected, fd)) {
        close(fd);
        return FALSE;
    }
    return TRUE;
}

BOOL FreeConsole(void)
{
    int fd = s_fdConsole.exchange(-1);
    if (fd < 0)
        return FALSE;
    close(fd);
    return TRUE;
}

HANDLE GetStdHandle(DWORD nStdHandle)
{
    if (nStdHandle != STD_OUTPUT_HANDLE || s_fdConsole.load() < 0)
        return NULL;
    return ConsoleHandle();
}

BOOL SetConsoleScreenBufferSize(HANDLE hOut, COORD)
{
    return DescriptorOf(hOut) >= 0;
}

BOOL SetConsoleWindowInfo(HANDLE hOut, BOOL, const SMALL_RECT* pRect)
{
    return DescriptorOf(hOut) >= 0 && pRect != NULL;
}

BOOL SetConsoleTextAttribute(HANDLE hOut, WORD wAttr)
{
    int fd = DescriptorOf(hOut);
    if (fd < 0)
        return FALSE;
    if (!ColourWanted())
        return TRUE;
    char szSgr[32];
    if (wAttr == 7) {
        snprintf(szSgr, sizeof(szSgr), "\x1b[0m");
    } else {
        int nFore = (wAttr & 8) ? 90 : 30;
        int nBack = (wAttr & 128) ? 100 : 40;
        snprintf(szSgr, sizeof(szSgr), "\x1b[0;%d;%dm", nFore + AnsiColour(wAttr, 0), nBack + AnsiColour(wAttr, 4));
    }
    return WriteAll(fd, szSgr, strlen(szSgr)) ? TRUE : FALSE;
}

DWORD GetConsoleTitleA(char* pszTitle, DWORD nSize)
{
    if (pszTitle != NULL && nSize > 0)
        pszTitle[0] = '\0';
    return 0;
}

BOOL WriteConsoleA(HANDLE hOut, const void* pText, DWORD nCount, DWORD* pnWritten, void*)
{
    int fd = DescriptorOf(hOut);
    if (pnWritten != NULL)
        *pnWritten = 0;
    if (fd < 0 || pText == NULL)
        return FALSE;
    if (!WriteAll(fd, (const char*)pText, nCount))
        return FALSE;
    if (pnWritten != NULL)
        *pnWritten = nCount;
    return TRUE;
}

HWND FindWindowA(const char*, const char*) { return NULL; }

HMENU GetSystemMenu(HWND, BOOL) { return NULL; }

BOOL EnableMenuItem(HMENU, UINT, UINT) { return -1; }
