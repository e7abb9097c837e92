// The Windows side of the console helpers Platform.h declares: no output of an
// object's own (the standard output handle is asked for at every call), pieces go
// out at once, and narrow text is converted from the ANSI code page and written
// with the wide call, so every character of the code page shows as itself whatever
// the console's own code page.
#include "../LogClass/Platform.h"

#include <new>

namespace {

// Writes nCount bytes of ANSI text through awcBuf (room for nCount characters).
BOOL WriteWide(HANDLE hOut, const char* pszText, DWORD nCount, WCHAR* awcBuf)
{
    int nWide = MultiByteToWideChar(CP_ACP, 0, pszText, (int)nCount, awcBuf, (int)nCount);
    if (nWide <= 0)
        return FALSE;
    DWORD nWritten = 0;
    return WriteConsoleW(hOut, awcBuf, (DWORD)nWide, &nWritten, NULL) && nWritten == (DWORD)nWide;
}

} // namespace

HANDLE WINAPI QwOpenConsoleOutput(void) { return NULL; }

void WINAPI QwCloseConsoleOutput(HANDLE) {}

void WINAPI QwBeginConsoleBatch(HANDLE) {}

void WINAPI QwEndConsoleBatch(HANDLE) {}

BOOL WINAPI QwWriteConsoleText(HANDLE hOut, const char* pszText, DWORD nCount)
{
    if (pszText == NULL)
        return FALSE;
    if (nCount == 0)
        return TRUE;
    // A code page never makes more UTF-16 units than it has bytes.
    WCHAR awcLocal[1024];
    if (nCount <= sizeof(awcLocal) / sizeof(awcLocal[0]))
        return WriteWide(hOut, pszText, nCount, awcLocal);
    WCHAR* pawcBuf = new (std::nothrow) WCHAR[nCount];
    if (pawcBuf == NULL) {
        DWORD nWritten = 0;  // no memory for the conversion: the bytes as they are
        return WriteConsoleA(hOut, pszText, nCount, &nWritten, NULL);
    }
    BOOL bOk = WriteWide(hOut, pszText, nCount, pawcBuf);
    delete[] pawcBuf;
    return bOk;
}
