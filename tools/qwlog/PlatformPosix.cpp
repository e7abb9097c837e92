#include "Platform.h"

#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace qwlog {

std::FILE* OpenForReading(const std::string& strPath)
{
    return std::fopen(strPath.c_str(), "rb");
}

std::FILE* OpenForWriting(const std::string& strPath)
{
    return std::fopen(strPath.c_str(), "wb");
}

bool IsDirectory(std::FILE* pFile)
{
    struct stat st;
    return fstat(fileno(pFile), &st) == 0 && S_ISDIR(st.st_mode);
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
