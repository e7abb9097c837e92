// The POSIX side of the helpers Platform.h declares.
#include "../LogClass/Platform.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <stdint.h>
#include <sys/file.h>
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

namespace {

// Attempts at the shared lock, about a millisecond apart: cleaning holds its
// exclusive lock only for the moment of one removal.
const int LOCK_TRIES = 200;

// Takes the shared lock of an open log on fd without ever waiting on a lock
// someone keeps. FALSE when it stays refused.
BOOL LockShared(int fd)
{
    for (int i = 0; i < LOCK_TRIES; ++i) {
        if (flock(fd, LOCK_SH | LOCK_NB) == 0)
            return TRUE;
        if (errno != EWOULDBLOCK && errno != EINTR)
            return FALSE;
        usleep(1000);
    }
    return FALSE;
}

// Opens pszPath for appending, never through a link and never blocking, and
// keeps it only when it is a regular file with one link that still has its
// name, locked shared. -1 when refused; bAgain set when it was removed under
// us (worth one more try).
int OpenLockedRegular(const char* pszPath, bool& bAgain)
{
    bAgain = false;
    int fd = open(pszPath, O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY, 0666);
    if (fd < 0)
        return -1;
    struct stat st, stName;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink > 1 || !LockShared(fd)
        || fcntl(fd, F_SETFL, O_APPEND) != 0 || fstat(fd, &st) != 0) {
        close(fd);
        return -1;
    }
    // Cleaning may have removed the name between the open and the lock.
    if (st.st_nlink == 0 || lstat(pszPath, &stName) != 0 || stName.st_ino != st.st_ino || stName.st_dev != st.st_dev) {
        bAgain = true;
        close(fd);
        return -1;
    }
    return fd;
}

} // namespace

FILE* QwOpenAppend(const char* pszPath)
{
    // The descriptor stays out of programs the host starts (close-on-exec).
    int fd = -1;
    bool bAgain = true;
    for (int i = 0; i < 3 && fd < 0 && bAgain; ++i)
        fd = OpenLockedRegular(pszPath, bAgain);
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

// Appends of every object of the process count themselves in s_nAppending. A cut
// or a run of appends raises s_bCutting under s_mtxGuard, waits until no append
// is under way, and holds later ones back until it is done, so that no append of
// the process lands between a cut's check and the cut, or between two parts of
// a run. Two atomic operations per append; cuts and runs are rare.
std::atomic<int> s_nAppending(0);
std::atomic<bool> s_bCutting(false);
pthread_mutex_t s_mtxGuard = PTHREAD_MUTEX_INITIALIZER;

// Counts an append in, waiting while a cut or a run is under way (on the mutex
// the cut or run holds, so a long run does not keep this thread spinning).
void BeginAppend()
{
    for (;;) {
        s_nAppending.fetch_add(1);
        if (!s_bCutting.load())
            return;
        s_nAppending.fetch_sub(1);
        pthread_mutex_lock(&s_mtxGuard);
        pthread_mutex_unlock(&s_mtxGuard);
    }
}

void EndAppend() { s_nAppending.fetch_sub(1); }

// Takes the guard for this thread alone: no other append of the process runs
// until ReleaseGuard.
void HoldGuard()
{
    pthread_mutex_lock(&s_mtxGuard);
    s_bCutting.store(true);
    while (s_nAppending.load() != 0)
        sched_yield();
}

void ReleaseGuard()
{
    s_bCutting.store(false);
    pthread_mutex_unlock(&s_mtxGuard);
}

// Writes nLen bytes to fd, retried when a signal interrupts it before any byte
// went; gives the bytes written (0 on failure).
size_t WriteOnce(int fd, const char* p, size_t nLen)
{
    ssize_t nDone;
    do {
        nDone = write(fd, p, nLen);
    } while (nDone < 0 && errno == EINTR);
    return nDone > 0 ? (size_t)nDone : 0;
}

// Cuts nOwn bytes off fd if the file still ends at nEnd, where our last write
// left it. Called with the guard held.
void CutTail(int fd, off_t nEnd, off_t nOwn)
{
    struct stat st;
    if (nOwn > 0 && nEnd >= nOwn && fstat(fd, &st) == 0 && st.st_size == nEnd)
        (void)!ftruncate(fd, nEnd - nOwn);
}

// Cuts the nWritten bytes of a short write off fd again, if the file still ends
// where that write left it (the descriptor's offset after an O_APPEND write).
void CutOwnTail(int fd, size_t nWritten)
{
    HoldGuard();
    CutTail(fd, lseek(fd, 0, SEEK_CUR), (off_t)nWritten);
    ReleaseGuard();
}

// The bytes of a run at the end of the file: where its last write ended, and how
// many bytes before that are the run's own with nothing of another writer
// between them.
struct CRunTail
{
    off_t nEnd;
    off_t nOwn;
};

// Counts nDone bytes a run just wrote to fd into tail.
void AddToTail(int fd, size_t nDone, CRunTail& tail)
{
    off_t nNow = lseek(fd, 0, SEEK_CUR);
    if (tail.nOwn > 0 && nNow - (off_t)nDone == tail.nEnd)
        tail.nOwn += (off_t)nDone;
    else
        tail.nOwn = (off_t)nDone;
    tail.nEnd = nNow;
}

} // namespace

BOOL QwAppendWhole(FILE* pFile, const char* p, size_t nLen)
{
    int fd = fileno(pFile);
    BeginAppend();
    size_t nDone = WriteOnce(fd, p, nLen);
    EndAppend();
    if (nDone == nLen)
        return TRUE;
    if (nDone > 0)
        CutOwnTail(fd, nDone);
    return FALSE;
}

BOOL QwAppendRun(FILE* pFile, PFN_QWNEXTPART pfnNext, void* pContext)
{
    int fd = fileno(pFile);
    CRunTail tail = { 0, 0 };
    BOOL bOk = TRUE;
    HoldGuard();
    const char* p = NULL;
    for (size_t nLen; bOk && (nLen = pfnNext(pContext, &p)) != 0;) {
        size_t nDone = WriteOnce(fd, p, nLen);
        if (nDone > 0)
            AddToTail(fd, nDone, tail);
        bOk = nDone == nLen ? TRUE : FALSE;
    }
    if (!bOk)
        CutTail(fd, tail.nEnd, tail.nOwn);
    ReleaseGuard();
    return bOk;
}

void QwDebugOutput(const char* pszText)
{
    if (pszText == NULL || pszText[0] == '\0' || secure_getenv("QUILLWORK_DEBUG") == NULL)
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
