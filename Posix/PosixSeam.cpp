// The POSIX side of the helpers Platform.h declares.
#include "../LogClass/Platform.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <stdint.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <pthread.h>
#include <sched.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>

#ifndef MADV_POPULATE_READ
#define MADV_POPULATE_READ 22  // Linux 5.14; older headers lack the name
#endif

time_t QwSystemClock(void) { return time(NULL); }

BOOL QwLocalTime(const time_t* pClock, struct tm* pTm)
{
    return localtime_r(pClock, pTm) != NULL ? TRUE : FALSE;
}

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

namespace {

// Appends of every object of the process count themselves in s_nAppending; a cut
// raises s_bCutting, waits until no append is under way, and holds later ones
// back until it is done, so that no append of the process lands between its
// check and its cut. Two atomic operations per append; cuts are rare.
std::atomic<int> s_nAppending(0);
std::atomic<bool> s_bCutting(false);
pthread_mutex_t s_mtxCut = PTHREAD_MUTEX_INITIALIZER;

// Counts an append in, waiting while a cut is under way.
void BeginAppend()
{
    for (;;) {
        s_nAppending.fetch_add(1);
        if (!s_bCutting.load())
            return;
        s_nAppending.fetch_sub(1);
        while (s_bCutting.load())
            sched_yield();
    }
}

void EndAppend() { s_nAppending.fetch_sub(1); }

// Cuts the nWritten bytes of a short write off fd again, if the file still ends
// where that write left it (the descriptor's offset after an O_APPEND write).
void CutOwnTail(int fd, size_t nWritten)
{
    pthread_mutex_lock(&s_mtxCut);  // one cut at a time
    s_bCutting.store(true);
    while (s_nAppending.load() != 0)
        sched_yield();
    off_t nEnd = lseek(fd, 0, SEEK_CUR);
    struct stat st;
    if (nEnd >= (off_t)nWritten && fstat(fd, &st) == 0 && st.st_size == nEnd)
        (void)!ftruncate(fd, nEnd - (off_t)nWritten);
    s_bCutting.store(false);
    pthread_mutex_unlock(&s_mtxCut);
}

} // namespace

BOOL QwAppendWhole(FILE* pFile, const char* p, size_t nLen)
{
    int fd = fileno(pFile);
    ssize_t nDone;
    BeginAppend();
    do {
        nDone = write(fd, p, nLen);
    } while (nDone < 0 && errno == EINTR);
    EndAppend();
    if (nDone == (ssize_t)nLen)
        return TRUE;
    if (nDone > 0)
        CutOwnTail(fd, (size_t)nDone);
    return FALSE;
}

void QwDebugOutput(const char* pszText)
{
    if (pszText == NULL || pszText[0] == '\0' || getenv("QUILLWORK_DEBUG") == NULL)
        return;
    size_t nLen = strlen(pszText);
    // One write per report, so reports of two threads do not mix.
    char szLine[1024];
    if (nLen + 2 > sizeof(szLine)) {
        fputs(pszText, stderr);
        fputc('\n', stderr);
    } else {
        memcpy(szLine, pszText, nLen);
        if (szLine[nLen - 1] != '\n')
            szLine[nLen++] = '\n';
        (void)!write(STDERR_FILENO, szLine, nLen);
    }
}
