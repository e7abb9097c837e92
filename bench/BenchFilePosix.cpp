// The raw append handle on POSIX: open(2) with O_APPEND, one write(2) per piece.
#include "BenchFile.h"

#include <fcntl.h>
#include <unistd.h>

QW_BENCH_FILE BenchOpenAppend(const std::string& strPath)
{
    int fd = open(strPath.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    return fd < 0 ? QW_NO_FILE : (QW_BENCH_FILE)fd;
}

bool BenchWrite(QW_BENCH_FILE hFile, const char* pData, size_t nLen)
{
    return write((int)hFile, pData, nLen) == (ssize_t)nLen;
}

bool BenchSync(QW_BENCH_FILE hFile) { return fdatasync((int)hFile) == 0; }

void BenchClose(QW_BENCH_FILE hFile)
{
    if (hFile != QW_NO_FILE)
        close((int)hFile);
}

const char* BenchWriteCallName() { return "write"; }

void BenchLocalTime(time_t tClock, struct tm* pTm) { localtime_r(&tClock, pTm); }
