#include "Platform.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

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
    struct _stati64 st;
    return _fstati64(_fileno(pFile), &st) == 0 && (st.st_mode & _S_IFDIR) != 0;
}

bool PrepareStdout()
{
    std::fflush(stdout);
    _setmode(_fileno(stdout), _O_BINARY);
    HANDLE hOut = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD dwMode = 0;
    if (hOut == INVALID_HANDLE_VALUE || !GetConsoleMode(hOut, &dwMode))
        return false;
    SetConsoleMode(hOut, dwMode | 0x0004 /* ENABLE_VIRTUAL_TERMINAL_PROCESSING */);
    SetConsoleOutputCP(CP_UTF8);
    return true;
}

void SleepMs(unsigned nMs)
{
    Sleep(nMs);
}

}  // namespace qwlog
