// The Windows log file: an append-only handle without delete sharing, each
// append one WriteFile past the C runtime, under the process's append lock that
// lets a short write or a failed run be cut off again.
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

// Writes nLen bytes to hFile, one WriteFile unless a count passes what a DWORD
// holds; gives the bytes written.
size_t WriteAll(HANDLE hFile, const char* p, size_t nLen)
{
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

// The handle's position: where its last write ended; -1 when it cannot be read.
LONGLONG Position(HANDLE hFile)
{
    LARGE_INTEGER nZero, nPos;
    nZero.QuadPart = 0;
    return SetFilePointerEx(hFile, nZero, &nPos, FILE_CURRENT) ? nPos.QuadPart : -1;
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

// Cuts nOwn bytes off the file again if it still ends at nEnd, where our last
// write left it. Shortening needs FILE_WRITE_DATA, which the append-only handle
// lacks on purpose; a second handle of the same file does the cut. Called under
// the append lock.
void CutTail(HANDLE hFile, LONGLONG nEnd, LONGLONG nOwn)
{
    LARGE_INTEGER nSize;
    if (nOwn <= 0 || nEnd < nOwn || !GetFileSizeEx(hFile, &nSize) || nSize.QuadPart != nEnd)
        return;
    std::wstring strPath = FinalPath(hFile);
    if (strPath.empty())
        return;
    HANDLE hCut = CreateFileW(strPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (hCut == INVALID_HANDLE_VALUE)
        return;
    LARGE_INTEGER nCut;
    nCut.QuadPart = nEnd - nOwn;
    if (GetFileSizeEx(hCut, &nSize) && nSize.QuadPart == nEnd && SetFilePointerEx(hCut, nCut, NULL, FILE_BEGIN))
        SetEndOfFile(hCut);
    CloseHandle(hCut);
}

// The bytes of a run at the end of the file: where its last write ended, and how
// many bytes before that are the run's own with nothing of another writer
// between them.
struct CRunTail
{
    LONGLONG nEnd;
    LONGLONG nOwn;
};

// Counts nDone bytes a run just wrote to hFile into tail.
void AddToTail(HANDLE hFile, size_t nDone, CRunTail& tail)
{
    LONGLONG nNow = Position(hFile);
    if (tail.nOwn > 0 && nNow - (LONGLONG)nDone == tail.nEnd)
        tail.nOwn += (LONGLONG)nDone;
    else
        tail.nOwn = (LONGLONG)nDone;
    tail.nEnd = nNow;
}

// The append-only handle behind pFile; INVALID_HANDLE_VALUE when there is none.
HANDLE AppendHandle(FILE* pFile)
{
    return (HANDLE)_get_osfhandle(_fileno(pFile));
}

} // namespace

BOOL QwAppendWhole(FILE* pFile, const char* p, size_t nLen)
{
    HANDLE hFile = AppendHandle(pFile);
    if (hFile == INVALID_HANDLE_VALUE)
        return FALSE;
    EnterCriticalSection(&AppendLock());
    size_t nDone = WriteAll(hFile, p, nLen);
    if (nDone != 0 && nDone != nLen)
        CutTail(hFile, Position(hFile), (LONGLONG)nDone);
    LeaveCriticalSection(&AppendLock());
    return nDone == nLen ? TRUE : FALSE;
}

BOOL QwAppendRun(FILE* pFile, PFN_QWNEXTPART pfnNext, void* pContext)
{
    HANDLE hFile = AppendHandle(pFile);
    if (hFile == INVALID_HANDLE_VALUE)
        return FALSE;
    CRunTail tail = { 0, 0 };
    BOOL bOk = TRUE;
    EnterCriticalSection(&AppendLock());
    const char* p = NULL;
    for (size_t nLen; bOk && (nLen = pfnNext(pContext, &p)) != 0;) {
        size_t nDone = WriteAll(hFile, p, nLen);
        if (nDone > 0)
            AddToTail(hFile, nDone, tail);
        bOk = nDone == nLen ? TRUE : FALSE;
    }
    if (!bOk)
        CutTail(hFile, tail.nEnd, tail.nOwn);
    LeaveCriticalSection(&AppendLock());
    return bOk;
}

unsigned long long QwFileSize(FILE* pFile)
{
    LARGE_INTEGER nSize;
    HANDLE hFile = (HANDLE)_get_osfhandle(_fileno(pFile));
    if (hFile == INVALID_HANDLE_VALUE || !GetFileSizeEx(hFile, &nSize) || nSize.QuadPart < 0)
        return 0;
    return (unsigned long long)nSize.QuadPart;
}
