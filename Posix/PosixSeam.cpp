// The POSIX side of the helpers Platform.h declares.
#include "../LogClass/Platform.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

BOOL QwLocalTime(const time_t* pClock, struct tm* pTm)
{
    return localtime_r(pClock, pTm) != NULL ? TRUE : FALSE;
}

void QwFormatV(char* pszBuf, size_t nBufSize, const char* pszFormat, va_list args)
{
    if (pszBuf == NULL || nBufSize == 0)
        return;
    if (pszFormat == NULL) {
        pszBuf[0] = '\0';
        return;
    }
    vsnprintf(pszBuf, nBufSize, pszFormat, args);
}

namespace {

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
    if (pipe(fds) != 0)
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
    int nResult = ReadableByVmRead((const char*)pData, nSize);
    if (nResult >= 0)
        return nResult ? TRUE : FALSE;
    return ReadableByPipe((const char*)pData, nSize);
}

FILE* QwOpenAppend(const char* pszPath)
{
    // The descriptor stays out of programs the host starts (close-on-exec).
    int fd = open(pszPath, O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    if (fd < 0)
        return NULL;
    FILE* pFile = fdopen(fd, "a+b");
    if (pFile == NULL) {
        close(fd);
        return NULL;
    }
    setvbuf(pFile, NULL, _IONBF, 0);
    return pFile;
}

size_t QwAppendBytes(FILE* pFile, const char* p, size_t nLen)
{
    size_t nDone = fwrite(p, 1, nLen, pFile);
    fflush(pFile);
    return nDone;
}

BOOL QwCutTail(FILE* pFile, long long nBytes)
{
    struct stat st;
    if (pFile == NULL || nBytes < 0 || fstat(fileno(pFile), &st) != 0 || st.st_size < nBytes)
        return FALSE;
    return ftruncate(fileno(pFile), (off_t)(st.st_size - nBytes)) == 0 ? TRUE : FALSE;
}

void QwDebugOutput(const char* pszText)
{
    OutputDebugStringA(pszText);
}
