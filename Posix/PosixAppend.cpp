// The POSIX log file: opened O_APPEND without following links, marked live
// with a lock only writers can take, each append one write(2), and the
// process's append guard under which CLogAppend cuts a short write or a failed
// run off again.
#include "../LogClass/Platform.h"
#include "PosixAppend.h"

#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

// Older C library headers do not know it; the kernel ignores what it does not know.
#ifndef STATX_ATTR_MOUNT_ROOT
#define STATX_ATTR_MOUNT_ROOT 0x00002000
#endif

#include <atomic>
#include <exception>
#include <string>

namespace {

// Attempts at the live mark while cleaning holds the mark range, about a
// millisecond apart: cleaning holds it only for the moment of one removal.
const int MARK_TRIES = 200;

// Where writers mark a log as live: one byte each of a range far past the end
// of any log, locked for writing with an open-file-description lock. Only a
// descriptor open for writing can take a write lock, so readers (tail, backup
// and shipping tools, "flock -s") never mark a file; a writer's mark goes with
// its descriptor (closed, or the process gone). Several writers of one file,
// in one process or several, take a byte each.
const off_t MARK_BASE = (off_t)1 << 62;
const off_t MARK_BYTES = 4096;

enum MARK_RESULT { MARK_PLACED, MARK_NONE, MARK_BUSY };

// A lock request of nLen bytes at nStart of the mark range.
struct flock MarkRange(short nType, off_t nStart, off_t nLen)
{
    struct flock fl;
    memset(&fl, 0, sizeof(fl));
    fl.l_type = nType;
    fl.l_whence = SEEK_SET;
    fl.l_start = MARK_BASE + nStart;
    fl.l_len = nLen;
    return fl;
}

// Places this descriptor's mark on fd: a byte of the range no other writer
// holds. MARK_BUSY while a read lock covers the byte (cleaning checking the
// file, or a reader's lock of the whole file); MARK_NONE where the file
// system keeps no such locks (ENOLCK: NFS without its lock service; EOPNOTSUPP,
// ENOSYS: some FUSE and SMB mounts; EINVAL: kernels before 3.15).
MARK_RESULT PlaceMark(int fd)
{
    const off_t nFirst = (off_t)(((unsigned)getpid() * 2654435761u) % (unsigned)MARK_BYTES);
    for (off_t i = 0; i < MARK_BYTES; ++i) {
        struct flock fl = MarkRange(F_WRLCK, (nFirst + i) % MARK_BYTES, 1);
        if (fcntl(fd, F_OFD_SETLK, &fl) == 0)
            return MARK_PLACED;
        if (errno == EINTR) {
            --i;
            continue;
        }
        if (errno != EAGAIN && errno != EACCES)
            return MARK_NONE;
        if (fcntl(fd, F_OFD_GETLK, &fl) != 0 || fl.l_type != F_WRLCK)
            return MARK_BUSY;  // a read lock: not another writer's byte
    }
    return MARK_BUSY;
}

// Marks fd as a live log, waiting a while as long as a read lock is in the
// way; where that stays, or the file system has no locks, the file is
// written without a mark (cleaning may then take it once it is old).
void MarkLive(int fd)
{
    for (int i = 0; i < MARK_TRIES; ++i) {
        if (PlaceMark(fd) != MARK_BUSY)
            return;
        usleep(1000);
    }
}

// Sets strWhy (when asked for) to pszWhat and the text of nError; without the
// memory for it, leaves it as it is.
void Why(std::string* pstrWhy, const char* pszWhat, int nError)
{
    if (pstrWhy == NULL)
        return;
    try {
        *pstrWhy = pszWhat;
        if (nError != 0)
            *pstrWhy += std::string(": ") + strerror(nError);
    } catch (const std::exception&) {
    }
}

// Opens the folder that holds pszPath, never through a link, when it is a
// real folder of its parent's mount (so no day folder planted as a link or
// a mount sends a file elsewhere); its name after the separator into strName.
// -1 when refused.
int OpenHoldingFolder(const char* pszPath, std::string& strName, std::string* pstrWhy)
{
    std::string strPath(pszPath);
    std::string::size_type nSep = strPath.rfind('/');
    strName = nSep == std::string::npos ? strPath : strPath.substr(nSep + 1);
    std::string strFolder = nSep == std::string::npos ? "." : nSep == 0 ? "/" : strPath.substr(0, nSep);
    int fdDir = open(strFolder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fdDir < 0) {
        Why(pstrWhy, errno == ELOOP || errno == ENOTDIR ? "its folder is a link or no folder" : "its folder", errno);
        return -1;
    }
    struct statx stxDir, stxUp;
    if (statx(fdDir, "", AT_EMPTY_PATH, STATX_BASIC_STATS, &stxDir) != 0
        || statx(fdDir, "..", AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS, &stxUp) != 0)
        return fdDir;  // the file system cannot tell: the folder is used as it is
    bool bMountRoot = (stxDir.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0
                      && (stxDir.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0 && strFolder != "/";
    if (bMountRoot || stxDir.stx_dev_major != stxUp.stx_dev_major || stxDir.stx_dev_minor != stxUp.stx_dev_minor) {
        Why(pstrWhy, "its folder is a mount of its own", 0);
        close(fdDir);
        return -1;
    }
    return fdDir;
}

// Opens strName of folder fdDir for appending, never through a link and
// never blocking: a new file made by this call, or one already there that
// belongs to the process's effective user (in a shared folder another user
// could plant one to read what is written). bMade set for a new one.
int OpenOwnFile(int fdDir, const std::string& strName, bool& bMade, std::string* pstrWhy)
{
    const int nFlags = O_RDWR | O_APPEND | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY;
    int fd = openat(fdDir, strName.c_str(), nFlags | O_CREAT | O_EXCL, 0666);
    bMade = fd >= 0;
    if (fd < 0 && errno == EEXIST)
        fd = openat(fdDir, strName.c_str(), nFlags);
    if (fd < 0) {
        Why(pstrWhy, errno == ELOOP ? "a link is at its name" : "open", errno);
        return -1;
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink > 1) {
        Why(pstrWhy, "something other than a plain file with one link is at its name", 0);
    } else if (!bMade && st.st_uid != geteuid()) {
        Why(pstrWhy, "a file of another user is at its name", 0);
    } else {
        return fd;
    }
    close(fd);
    return -1;
}

// Opens pszPath for appending (see OpenOwnFile) in a folder OpenHoldingFolder
// accepts, marks it live, and keeps it only while it still has its name.
// -1 when refused; bAgain set when it was removed under us (worth one more try).
int OpenMarkedRegular(const char* pszPath, bool& bAgain, std::string* pstrWhy)
{
    bAgain = false;
    std::string strName;
    int fdDir = OpenHoldingFolder(pszPath, strName, pstrWhy);
    if (fdDir < 0)
        return -1;
    bool bMade = false;
    int fd = OpenOwnFile(fdDir, strName, bMade, pstrWhy);
    if (fd >= 0)
        MarkLive(fd);
    struct stat st, stName;
    if (fd >= 0 && (fcntl(fd, F_SETFL, O_APPEND) != 0 || fstat(fd, &st) != 0)) {
        Why(pstrWhy, "fcntl", errno);
        close(fd);
        fd = -1;
    }
    // Cleaning may have removed the name between the open and the mark.
    if (fd >= 0
        && (st.st_nlink == 0 || fstatat(fdDir, strName.c_str(), &stName, AT_SYMLINK_NOFOLLOW) != 0
            || stName.st_ino != st.st_ino || stName.st_dev != st.st_dev)) {
        Why(pstrWhy, "removed while it was opened", 0);
        bAgain = true;
        close(fd);
        fd = -1;
    }
    close(fdDir);
    return fd;
}

} // namespace

bool QwLockOutWriters(int fd)
{
    struct flock fl = MarkRange(F_RDLCK, 0, MARK_BYTES);
    int nResult;
    do {
        nResult = fcntl(fd, F_OFD_SETLK, &fl);
    } while (nResult != 0 && errno == EINTR);
    return nResult == 0;
}

FILE* QwOpenAppend(const char* pszPath, std::string* pstrWhy)
{
    // The descriptor stays out of programs the host starts (close-on-exec).
    int fd = -1;
    bool bAgain = true;
    try {
        for (int i = 0; i < 3 && fd < 0 && bAgain; ++i)
            fd = OpenMarkedRegular(pszPath, bAgain, pstrWhy);
    } catch (const std::exception&) {
        return NULL;  // no memory for the folder's path (no descriptor is open then)
    }
    if (fd < 0)
        return NULL;
    FILE* pFile = fdopen(fd, "a+b");
    if (pFile == NULL) {
        Why(pstrWhy, "fdopen", errno);
        close(fd);
        return NULL;
    }
    setvbuf(pFile, NULL, _IONBF, 0);
    return pFile;
}

namespace {

// Appends of every object of the process count themselves in s_nAppending
// (QwBeginAppend, QwEndAppend). A cut or a run of appends (QwHoldAppends)
// raises s_bCutting under s_mtxGuard, waits until no append is under way, and
// holds later ones back until it is done, so that no append of the process
// lands between a cut's check and the cut, or between two parts of a run. Two
// atomic operations per append; cuts and runs are rare.
//
// Why no append slips past a cut (a reader-writer lock would cost every append
// a shared cache line and a kernel call when contended): QwBeginAppend raises
// the count, then reads the flag; QwHoldAppends raises the flag, then reads the
// count. All four operations are sequentially consistent, so they fall in one
// order every thread agrees on. If the append's raise comes first, the cut's
// read of the count sees it and the cut waits until QwEndAppend; if the cut's
// raise comes first, the append's read of the flag sees it and the append
// backs out, waits on the mutex and tries again. Either way the two never
// overlap. Cuts and runs exclude each other through the mutex itself.
std::atomic<int> s_nAppending(0);
std::atomic<bool> s_bCutting(false);
pthread_mutex_t s_mtxGuard = PTHREAD_MUTEX_INITIALIZER;

} // namespace

void QwBeginAppend(void)
{
    for (;;) {
        s_nAppending.fetch_add(1);
        if (!s_bCutting.load())
            return;
        s_nAppending.fetch_sub(1);
        // Wait on the mutex the cut or run holds, so that a long run does not
        // keep this thread spinning.
        pthread_mutex_lock(&s_mtxGuard);
        pthread_mutex_unlock(&s_mtxGuard);
    }
}

void QwEndAppend(void) { s_nAppending.fetch_sub(1); }

void QwHoldAppends(void)
{
    pthread_mutex_lock(&s_mtxGuard);
    s_bCutting.store(true);
    while (s_nAppending.load() != 0)
        sched_yield();
}

void QwHoldAfterAppend(void)
{
    QwEndAppend();
    QwHoldAppends();
}

void QwReleaseAppends(void)
{
    s_bCutting.store(false);
    pthread_mutex_unlock(&s_mtxGuard);
}

size_t QwWriteOnce(FILE* pFile, const char* p, size_t nLen)
{
    int fd = fileno(pFile);
    ssize_t nDone;
    do {
        nDone = write(fd, p, nLen);
    } while (nDone < 0 && errno == EINTR);
    return nDone > 0 ? (size_t)nDone : 0;
}

long long QwWriteEnd(FILE* pFile) { return (long long)lseek(fileno(pFile), 0, SEEK_CUR); }

void QwCutFile(FILE* pFile, unsigned long long nSize, unsigned long long nSizeNow)
{
    int fd = fileno(pFile);
    struct stat st;
    if (fstat(fd, &st) == 0 && st.st_size >= 0 && (unsigned long long)st.st_size == nSizeNow)
        (void)!ftruncate(fd, (off_t)nSize);
}

unsigned long long QwFileSize(FILE* pFile)
{
    struct stat st;
    return fstat(fileno(pFile), &st) == 0 && st.st_size > 0 ? (unsigned long long)st.st_size : 0;
}
