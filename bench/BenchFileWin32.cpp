// The raw append handle on Windows: CreateFileA with append access, one
// WriteFile per piece.
#include "BenchFile.h"

#include <windows.h>

QW_BENCH_FILE BenchOpenAppend(const std::string& strPath)
{
    HANDLE h = CreateFileA(strPath.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    return h == INVALID_HANDLE_VALUE ? QW_NO_FILE : (QW_BENCH_FILE)h;
}

bool BenchWrite(QW_BENCH_FILE hFile, const char* pData, size_t nLen)
{
    DWORD nWritten = 0;
    return WriteFile((HANDLE)hFile, pData, (DWORD)nLen, &nWritten, NULL) && nWritten == nLen;
}

bool BenchSync(QW_BENCH_FILE hFile) { return FlushFileBuffers((HANDLE)hFile) != FALSE; }

void BenchClose(QW_BENCH_FILE hFile)
{
    if (hFile != QW_NO_FILE)
        CloseHandle((HANDLE)hFile);
}

const char* BenchWriteCallName() { return "WriteFile"; }

void BenchLocalTime(time_t tClock, struct tm* pTm) { localtime_s(pTm, &tClock); }
