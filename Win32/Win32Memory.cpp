// The Windows readability check for the memory a host passes to a dump: the
// regions covering it are asked for with VirtualQuery, no byte is read.
#include "../LogClass/Platform.h"

#include <windows.h>

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
