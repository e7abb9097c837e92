#include "Platform.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace qwlog {

namespace {

int g_nLastError = 0;

// Returns p; when it is NULL, keeps errno as the reason.
template <typename T>
T Keep(T p)
{
    if (!p)
        g_nLastError = errno;
    return p;
}

}  // namespace

std::FILE* OpenForReading(const std::string& strPath)
{
    return Keep(std::fopen(strPath.c_str(), "rb"));
}

std::FILE* OpenForWriting(const std::string& strPath)
{
    return Keep(std::fopen(strPath.c_str(), "wb"));
}

bool IsPlainOrAbsent(const std::string& strPath)
{
    struct stat st;
    if (lstat(strPath.c_str(), &st) != 0)
        return errno == ENOENT;
    return S_ISREG(st.st_mode);
}

std::string LastErrorText()
{
    return std::strerror(g_nLastError);
}

bool IsDirectory(std::FILE* pFile)
{
    struct stat st;
    return fstat(fileno(pFile), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IdOfOpen(std::FILE* pFile, FileId& id, uint64_t& nSize)
{
    struct stat st;
    if (fstat(fileno(pFile), &st) != 0)
        return false;
    id.nVolume = (uint64_t)st.st_dev;
    id.nIndex = (uint64_t)st.st_ino;
    nSize = (uint64_t)st.st_size;
    return true;
}

bool IdOfPath(const std::string& strPath, FileId& id)
{
    struct stat st;
    if (stat(strPath.c_str(), &st) != 0)
        return false;
    id.nVolume = (uint64_t)st.st_dev;
    id.nIndex = (uint64_t)st.st_ino;
    return true;
}

bool SeekTo(std::FILE* pFile, uint64_t nOffset)
{
    return fseeko(pFile, (off_t)nOffset, SEEK_SET) == 0;
}

std::FILE* CreateBeside(const std::string& strPath, std::string& strTemp)
{
    std::vector<char> aName(strPath.begin(), strPath.end());
    const char kSuffix[] = ".qwlog-XXXXXX";
    aName.insert(aName.end(), kSuffix, kSuffix + sizeof(kSuffix));
    int fd = mkstemp(aName.data());
    if (fd < 0) {
        g_nLastError = errno;
        return nullptr;
    }
    strTemp = aName.data();
    mode_t nMask = umask(0);
    umask(nMask);
    fchmod(fd, 0666 & ~nMask);  // as fopen would make it, not mkstemp's 0600
    std::FILE* pFile = fdopen(fd, "wb");
    if (pFile == nullptr) {
        g_nLastError = errno;
        close(fd);
        unlink(strTemp.c_str());
    }
    return pFile;
}

bool MoveInPlace(const std::string& strTemp, const std::string& strPath)
{
    return Keep(rename(strTemp.c_str(), strPath.c_str()) == 0);
}

std::vector<std::string> ExpandWildcards(const std::vector<std::string>& aArgs)
{
    return aArgs;
}

bool PrepareStdout()
{
    return isatty(STDOUT_FILENO) != 0;
}

void SleepMs(unsigned nMs)
{
    struct timespec ts;
    ts.tv_sec = nMs / 1000;
    ts.tv_nsec = (long)(nMs % 1000) * 1000000L;
    nanosleep(&ts, nullptr);
}

}  // namespace qwlog
