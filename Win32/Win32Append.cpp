// The Windows log file: an append-only handle without delete sharing, each
// append one WriteFile past the C runtime, under the process's append lock, and
// the cut (through a second handle) of what CLogAppend takes back.
#include "../LogClass/Platform.h"
#include "Win32Charset.h"
#include "Win32Files.h"

#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <string.h>

#include <exception>
#include <string>

namespace {

// Sets strWhy (when asked for) to pszWhat; without the memory for it, leaves it as it is.
void Why(std::string* pstrWhy, const char* pszWhat)
{
    try {
        if (pstrWhy != NULL)
            *pstrWhy = pszWhat;
    } catch (const std::exception&) {
    }
}

} // namespace

FILE* QwOpenAppend(const char* pszPath, std::string* pstrWhy)
{
    // FILE_APPEND_DATA without FILE_WRITE_DATA: every write lands at the end of
    // the file, whichever process wrote last. No delete sharing: cleaning meets
    // a sharing violation while any object has the file open. A reparse point at
    // the name is opened itself, never followed, and refused; the day folder is
    // held open meanwhile, a plain folder directly in the log folder, so no
    // link at its name sends the file elsewhere.
    std::wstring strWide = QwWidePath(pszPath);
    CHandle folder = { QwOpenFolderOfFile(pszPath) };
    if (strWide.empty() || folder.h == INVALID_HANDLE_VALUE) {
        Why(pstrWhy, strWide.empty() ? "the path is no text of the code page" : "its folder is a link or no folder");
        return NULL;
    }
    HANDLE hFile = CreateFileW(strWide.c_str(), FILE_GENERIC_READ | FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, NULL);
    if (hFile == INVALID_HANDLE_VALUE) {
        try {
            if (pstrWhy != NULL)
                *pstrWhy = "CreateFileW: " + QwLastErrorText();
        } catch (const std::exception&) {
        }
        return NULL;
    }
    if (!QwIsPlainDiskFile(hFile)) {
        Why(pstrWhy, "something other than a plain file with one link is at its name");
        CloseHandle(hFile);
        return NULL;
    }
    int nFd = _open_osfhandle((intptr_t)hFile, _O_APPEND | _O_BINARY);
    if (nFd == -1) {
        Why(pstrWhy, "_open_osfhandle failed");
        CloseHandle(hFile);
        return NULL;
    }
    FILE* pFile = _fdopen(nFd, "a+b");
    if (pFile == NULL) {
        Why(pstrWhy, "_fdopen failed");
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

namespace {

// The append-only handle behind pFile; INVALID_HANDLE_VALUE when there is none.
HANDLE AppendHandle(FILE* pFile)
{
    return (HANDLE)_get_osfhandle(_fileno(pFile));
}

// The final path of the file behind hFile; empty when it cannot be had.
std::wstring FinalPath(HANDLE hFile)
{
    wchar_t wszPath[MAX_PATH];
    DWORD nLen = GetFinalPathNameByHandleW(hFile, wszPath, MAX_PATH, 0);
    std::wstring strPath;
    if (nLen >= MAX_PATH) {
        strPath.resize(nLen);
        nLen = GetFinalPathNameByHandleW(hFile, &strPath[0], nLen, 0);
        strPath.resize(nLen < strPath.size() ? nLen : 0);
    } else {
        strPath.assign(wszPath, nLen);
    }
    return strPath;
}

} // namespace

// Every append and every hold is the one append lock, so nothing of the process
// comes between an append and the cut that follows it.
void QwBeginAppend(void) { EnterCriticalSection(&AppendLock()); }

void QwEndAppend(void) { LeaveCriticalSection(&AppendLock()); }

void QwHoldAppends(void) { EnterCriticalSection(&AppendLock()); }

void QwHoldAfterAppend(void) {}  // the append's lock is the hold

void QwReleaseAppends(void) { LeaveCriticalSection(&AppendLock()); }

size_t QwWriteOnce(FILE* pFile, const char* p, size_t nLen)
{
    HANDLE hFile = AppendHandle(pFile);
    if (hFile == INVALID_HANDLE_VALUE)
        return 0;
    size_t nDone = 0;
    while (nDone < nLen) {
        DWORD nPart = nLen - nDone > 0x40000000 ? 0x40000000 : (DWORD)(nLen - nDone);
        DWORD nWritten = 0;
        BOOL bOk = WriteFile(hFile, p + nDone, nPart, &nWritten, NULL);
        nDone += nWritten;
        if (!bOk || nWritten != nPart)
            break;
    }
    return nDone;
}

long long QwWriteEnd(FILE* pFile)
{
    LARGE_INTEGER nZero, nPos;
    nZero.QuadPart = 0;
    HANDLE hFile = AppendHandle(pFile);
    if (hFile == INVALID_HANDLE_VALUE || !SetFilePointerEx(hFile, nZero, &nPos, FILE_CURRENT))
        return -1;
    return nPos.QuadPart;
}

void QwCutFile(FILE* pFile, unsigned long long nSize, unsigned long long nSizeNow)
{
    HANDLE hFile = AppendHandle(pFile);
    LARGE_INTEGER nFileSize;
    if (hFile == INVALID_HANDLE_VALUE || !GetFileSizeEx(hFile, &nFileSize) || (unsigned long long)nFileSize.QuadPart != nSizeNow)
        return;
    std::wstring strPath = FinalPath(hFile);
    if (strPath.empty())
        return;
    HANDLE hCut = CreateFileW(strPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (hCut == INVALID_HANDLE_VALUE)
        return;
    LARGE_INTEGER nCut;
    nCut.QuadPart = (LONGLONG)nSize;
    if (GetFileSizeEx(hCut, &nFileSize) && (unsigned long long)nFileSize.QuadPart == nSizeNow
        && SetFilePointerEx(hCut, nCut, NULL, FILE_BEGIN))
        SetEndOfFile(hCut);
    CloseHandle(hCut);
}

unsigned long long QwFileSize(FILE* pFile)
{
    LARGE_INTEGER nSize;
    HANDLE hFile = (HANDLE)_get_osfhandle(_fileno(pFile));
    if (hFile == INVALID_HANDLE_VALUE || !GetFileSizeEx(hFile, &nSize) || nSize.QuadPart < 0)
        return 0;
    return (unsigned long long)nSize.QuadPart;
}
