// The POSIX log file: opened O_APPEND without following links, each append
// one write(2), and the process's append guard that lets a short write or a
// failed run be cut off again without ever cutting another writer's bytes.
#include "../LogClass/Platform.h"

#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>

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
//
// Why no append slips past a cut (a reader-writer lock would cost every append
// a shared cache line and a kernel call when contended): BeginAppend raises the
// count, then reads the flag; HoldGuard raises the flag, then reads the count.
// All four operations are sequentially consistent, so they fall in one order
// every thread agrees on. If the append's raise comes first, the cut's read of
// the count sees it and the cut waits until EndAppend; if the cut's raise comes
// first, the append's read of the flag sees it and the append backs out, waits
// on the mutex and tries again. Either way the two never overlap. Cuts and runs
// exclude each other through the mutex itself.
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

unsigned long long QwFileSize(FILE* pFile)
{
    struct stat st;
    return fstat(fileno(pFile), &st) == 0 && st.st_size > 0 ? (unsigned long long)st.st_size : 0;
}
