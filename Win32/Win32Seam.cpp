// The Windows side of the helpers Platform.h declares.
#include "../LogClass/Platform.h"
#include "Win32Paths.h"

#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <string.h>

BOOL QwLocalTime(const time_t* pClock, struct tm* pTm)
{
    return localtime_s(pTm, pClock) == 0 ? TRUE : FALSE;
}

void QwFormatV(char* pszBuf, size_t nBufSize, const char* pszFormat, va_list args)
{
    if (pszBuf == NULL || nBufSize == 0)
        return;
    pszBuf[0] = '\0';
    // wvsprintfA stops at its own limit of 1024 bytes, inside every buffer we pass.
    if (pszFormat != NULL && nBufSize >= 1025)
        wvsprintfA(pszBuf, pszFormat, args);
}

namespace {

// TRUE when a region's protection lets the process read it without a fault.
BOOL ProtectionReadable(DWORD dwProtect)
{
    if (dwProtect & (PAGE_GUARD | PAGE_NOACCESS))
        return FALSE;
    const DWORD dwReadable = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ
                             | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
    return (dwProtect & dwReadable) != 0;
}

} // namespace

BOOL QwIsReadable(const void* pData, unsigned int nSize)
{
    if (nSize == 0)
        return TRUE;
    if (pData == NULL)
        return FALSE;
    ULONG_PTR nAddr = (ULONG_PTR)pData;
    ULONG_PTR nEnd = nAddr + nSize;
    if (nEnd < nAddr)
        return FALSE;
    // Walk the regions that cover the range; VirtualQuery reads no byte of it.
    while (nAddr < nEnd) {
        MEMORY_BASIC_INFORMATION mbi;
        if (VirtualQuery((LPCVOID)nAddr, &mbi, sizeof(mbi)) == 0)
            return FALSE;
        if (mbi.State != MEM_COMMIT || !ProtectionReadable(mbi.Protect))
            return FALSE;
        ULONG_PTR nRegionEnd = (ULONG_PTR)mbi.BaseAddress + mbi.RegionSize;
        if (nRegionEnd <= nAddr)
            return FALSE;
        nAddr = nRegionEnd;
    }
    return TRUE;
}

FILE* QwOpenAppend(const char* pszPath)
{
    // FILE_APPEND_DATA without FILE_WRITE_DATA: every write lands at the end of
    // the file, whichever process wrote last.
    std::wstring strWide = QwWidePath(pszPath);
    if (strWide.empty())
        return NULL;
    HANDLE hFile = CreateFileW(strWide.c_str(), FILE_GENERIC_READ | FILE_APPEND_DATA,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, NULL);
    if (hFile == INVALID_HANDLE_VALUE)
        return NULL;
    int nFd = _open_osfhandle((intptr_t)hFile, _O_APPEND | _O_BINARY);
    if (nFd == -1) {
        CloseHandle(hFile);
        return NULL;
    }
    FILE* pFile = _fdopen(nFd, "a+b");
    if (pFile == NULL) {
        _close(nFd);
        return NULL;
    }
    setvbuf(pFile, NULL, _IONBF, 0);
    return pFile;
}

namespace {

// One lock for the appends of every object of the process.
struct CAppendLock
{
    CAppendLock() { InitializeCriticalSection(&m_cs); }
    CRITICAL_SECTION m_cs;
};

CRITICAL_SECTION& AppendLock()
{
    static CAppendLock s_lock;  // made once, on first use, by whichever thread comes first
    return s_lock.m_cs;
}

} // namespace

size_t QwAppendBytes(FILE* pFile, const char* p, size_t nLen)
{
    HANDLE hFile = (HANDLE)_get_osfhandle(_fileno(pFile));
    if (hFile == INVALID_HANDLE_VALUE)
        return 0;
    size_t nDone = 0;
    EnterCriticalSection(&AppendLock());
    while (nDone < nLen) {  // one WriteFile, unless a count passes what a DWORD holds
        DWORD nPart = nLen - nDone > 0x40000000 ? 0x40000000 : (DWORD)(nLen - nDone);
        DWORD nWritten = 0;
        if (!WriteFile(hFile, p + nDone, nPart, &nWritten, NULL) || nWritten == 0) {
            nDone += nWritten;
            break;
        }
        nDone += nWritten;
    }
    LeaveCriticalSection(&AppendLock());
    return nDone;
}

BOOL QwCutTail(FILE* pFile, long long nBytes)
{
    // Shortening needs FILE_WRITE_DATA, which the append-only handle lacks on
    // purpose; a second handle of the same file does the cut.
    if (pFile == NULL || nBytes < 0)
        return FALSE;
    HANDLE hFile = (HANDLE)_get_osfhandle(_fileno(pFile));
    LARGE_INTEGER nSize;
    if (hFile == INVALID_HANDLE_VALUE || !GetFileSizeEx(hFile, &nSize) || nSize.QuadPart < nBytes)
        return FALSE;
    char szPath[MAX_PATH * 2];
    DWORD nLen = GetFinalPathNameByHandleA(hFile, szPath, sizeof(szPath), 0);
    if (nLen == 0 || nLen >= sizeof(szPath))
        return FALSE;
    HANDLE hCut = CreateFileA(szPath, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (hCut == INVALID_HANDLE_VALUE)
        return FALSE;
    LARGE_INTEGER nEnd;
    nEnd.QuadPart = nSize.QuadPart - nBytes;
    BOOL bCut = SetFilePointerEx(hCut, nEnd, NULL, FILE_BEGIN) && SetEndOfFile(hCut);
    CloseHandle(hCut);
    return bCut;
}

void QwDebugOutput(const char* pszText)
{
    if (pszText != NULL)
        OutputDebugStringA(pszText);
}
