// The Windows side of the helpers Platform.h declares.
#include "../LogClass/Platform.h"

#include <stdio.h>

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

void QwDebugOutput(const char* pszText)
{
    if (pszText != NULL)
        OutputDebugStringA(pszText);
}
