// The POSIX readability check for the memory a host passes to a dump: the
// kernel is asked, so a bad range is refused without a fault in the host.
#include "../LogClass/Platform.h"

#include <errno.h>
#include <fcntl.h>
#include <stdint.h>
#include <sys/mman.h>
#include <sys/uio.h>
#include <unistd.h>

#ifndef MADV_POPULATE_READ
#define MADV_POPULATE_READ 22  // Linux 5.14; older headers lack the name
#endif

namespace {

// Asks the kernel to map every page of the range for reading without reading
// it (madvise MADV_POPULATE_READ: the page tables are filled as a read would
// fill them, no byte is copied). TRUE when that succeeded: every page is mapped
// and readable. FALSE says nothing for sure (an older kernel that does not know
// the advice, a PROT_NONE or device mapping, no memory, an interruption), so
// the caller then asks the slower way.
bool ReadableByPopulate(const char* p, size_t nSize)
{
    static const uintptr_t s_nPage = (uintptr_t)sysconf(_SC_PAGESIZE);
    uintptr_t nStart = (uintptr_t)p & ~(s_nPage - 1);
    uintptr_t nEnd = (uintptr_t)p + nSize;
    if (nEnd < (uintptr_t)p)
        return false;
    return madvise((void*)nStart, nEnd - nStart, MADV_POPULATE_READ) == 0;
}

// Asks the kernel to copy the range into a scratch buffer: a fault is reported
// as a short count or EFAULT, never as a signal. -1 when the call is refused.
int ReadableByVmRead(const char* p, size_t nSize)
{
    char scratch[4096];  // each caller its own: the kernel writes into it
    while (nSize > 0) {
        struct iovec local[256];
        size_t nChunk = 0;
        int nLocal = 0;
        for (; nLocal < 256 && nChunk < nSize; ++nLocal) {
            local[nLocal].iov_base = scratch;
            local[nLocal].iov_len = sizeof(scratch);
            nChunk += sizeof(scratch);
        }
        if (nChunk > nSize)
            nChunk = nSize;
        struct iovec remote = { (void*)p, nChunk };
        ssize_t nRead = process_vm_readv(getpid(), local, (unsigned long)nLocal, &remote, 1, 0);
        if (nRead < 0)
            return (errno == EFAULT || errno == ENOMEM) ? 0 : -1;
        if ((size_t)nRead != nChunk)
            return 0;
        p += nChunk;
        nSize -= nChunk;
    }
    return 1;
}

// Writes the range into a pipe and reads it back: write fails with EFAULT on
// memory the process cannot read.
BOOL ReadableByPipe(const char* p, size_t nSize)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return FALSE;
    BOOL bReadable = TRUE;
    char scratch[4096];
    while (nSize > 0 && bReadable) {
        size_t nChunk = nSize < sizeof(scratch) ? nSize : sizeof(scratch);
        ssize_t n = write(fds[1], p, nChunk);
        if (n <= 0 || read(fds[0], scratch, (size_t)n) != n)
            bReadable = FALSE;
        else {
            p += n;
            nSize -= (size_t)n;
        }
    }
    close(fds[0]);
    close(fds[1]);
    return bReadable;
}

} // namespace

BOOL QwIsReadable(const void* pData, unsigned int nSize)
{
    if (nSize == 0)
        return TRUE;
    if (pData == NULL)
        return FALSE;
    if (ReadableByPopulate((const char*)pData, nSize))
        return TRUE;
    int nResult = ReadableByVmRead((const char*)pData, nSize);
    if (nResult >= 0)
        return nResult ? TRUE : FALSE;
    return ReadableByPipe((const char*)pData, nSize);
}
