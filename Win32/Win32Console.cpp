// The Windows side of the console helpers Platform.h declares: no output of an
// object's own (the standard output handle is asked for at every call), pieces go
// out at once, and narrow text is converted from the ANSI code page and written
// with the wide call, so every character of the code page shows as itself whatever
// the console's own code page. Control characters of the text show as escapes, so
// logged text cannot drive the console; the colours are the library's own.
#include "../LogClass/Platform.h"

#include "../LogClass/ControlText.h"

#include <new>
#include <string>

namespace {

// Writes nCount UTF-16 units to the console as they are.
BOOL WriteUnits(HANDLE hOut, const WCHAR* p, size_t nCount)
{
    DWORD nWritten = 0;
    return WriteConsoleW(hOut, p, (DWORD)nCount, &nWritten, NULL) && nWritten == (DWORD)nCount;
}

// True when p[0..nCount) holds a character the console would act on.
bool HasControls(const WCHAR* p, size_t nCount)
{
    for (size_t i = 0; i < nCount; ++i)
        if ((p[i] < 0x20 && p[i] != L'\t' && p[i] != L'\r' && p[i] != L'\n') || (p[i] >= 0x7F && p[i] <= 0x9F))
            return true;
    return false;
}

// Writes nCount UTF-16 units, their control characters shown as escapes. FALSE,
// and nothing written, when there is no memory to show them.
BOOL WriteShown(HANDLE hOut, const WCHAR* p, size_t nCount)
{
    if (!HasControls(p, nCount))
        return WriteUnits(hOut, p, nCount);
    std::wstring strShown;
    try {
        QwAppendShownW(strShown, p, nCount);
    } catch (const std::bad_alloc&) {
        return FALSE;
    }
    return WriteUnits(hOut, strShown.data(), strShown.size());
}

// Writes nCount bytes of ANSI text through awcBuf (room for nCount characters).
BOOL WriteWide(HANDLE hOut, const char* pszText, DWORD nCount, WCHAR* awcBuf)
{
    int nWide = MultiByteToWideChar(CP_ACP, 0, pszText, (int)nCount, awcBuf, (int)nCount);
    if (nWide <= 0)
        return FALSE;
    return WriteShown(hOut, awcBuf, (size_t)nWide);
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
    if (pawcBuf == NULL)
        return FALSE;  // no memory for the conversion: the file has the text
    BOOL bOk = WriteWide(hOut, pszText, nCount, pawcBuf);
    delete[] pawcBuf;
    return bOk;
}
