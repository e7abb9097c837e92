#include "Platform.h"

#include <algorithm>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

namespace qwlog {

namespace {

DWORD g_dwLastError = 0;

// A FILE for a handle opened with CreateFileA; NULL (handle closed) when the C library refuses.
std::FILE* StreamOf(HANDLE h, int nFlags, const char* pszMode)
{
    int fd = _open_osfhandle((intptr_t)h, nFlags);
    if (fd < 0) {
        g_dwLastError = ERROR_TOO_MANY_OPEN_FILES;
        CloseHandle(h);
        return nullptr;
    }
    std::FILE* pFile = _fdopen(fd, pszMode);
    if (pFile == nullptr) {
        g_dwLastError = ERROR_TOO_MANY_OPEN_FILES;
        _close(fd);
    }
    return pFile;
}

bool HasWildcard(const std::string& s)
{
    return s.find_first_of("*?") != std::string::npos;
}

// Every path that the parts aParts[nPart..] match below strBase, sorted, into aOut.
void ExpandParts(const std::string& strBase, const std::vector<std::string>& aParts, size_t nPart,
                 std::vector<std::string>& aOut)
{
    if (nPart == aParts.size()) {
        aOut.push_back(strBase);
        return;
    }
    const std::string& strPart = aParts[nPart];
    std::string strJoin = strBase.empty() || strBase.back() == '\\' || strBase.back() == '/' ||
                                  strBase.back() == ':' ? strBase : strBase + "\\";
    if (!HasWildcard(strPart)) {
        ExpandParts(strJoin + strPart, aParts, nPart + 1, aOut);
        return;
    }
    WIN32_FIND_DATAA data;
    HANDLE h = FindFirstFileA((strJoin + strPart).c_str(), &data);
    if (h == INVALID_HANDLE_VALUE)
        return;
    std::vector<std::string> aNames;
    bool bLast = nPart + 1 == aParts.size();
    do {
        std::string strName = data.cFileName;
        bool bFolder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (strName == "." || strName == ".." || (!bLast && !bFolder))
            continue;
        aNames.push_back(strName);
    } while (FindNextFileA(h, &data));
    FindClose(h);
    std::sort(aNames.begin(), aNames.end());
    for (const std::string& strName : aNames)
        ExpandParts(strJoin + strName, aParts, nPart + 1, aOut);
}

// The matches of one argument holding a wildcard, split at either separator.
std::vector<std::string> ExpandOne(const std::string& strArg)
{
    std::vector<std::string> aParts;
    std::string strRoot;
    size_t nStart = 0;
    if (strArg.size() >= 2 && strArg[1] == ':') {
        strRoot = strArg.substr(0, 2);
        nStart = 2;
    }
    if (nStart < strArg.size() && (strArg[nStart] == '\\' || strArg[nStart] == '/'))
        strRoot += strArg[nStart++];
    while (nStart <= strArg.size()) {
        size_t nSep = strArg.find_first_of("\\/", nStart);
        if (nSep == std::string::npos)
            nSep = strArg.size();
        if (nSep > nStart)
            aParts.push_back(strArg.substr(nStart, nSep - nStart));
        nStart = nSep + 1;
    }
    std::vector<std::string> aOut;
    ExpandParts(strRoot, aParts, 0, aOut);
    return aOut;
}

}  // namespace

std::FILE* OpenForReading(const std::string& strPath)
{
    HANDLE h = CreateFileA(strPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        g_dwLastError = GetLastError();
        return nullptr;
    }
    return StreamOf(h, _O_RDONLY | _O_BINARY, "rb");
}

std::FILE* OpenForWriting(const std::string& strPath)
{
    HANDLE h = CreateFileA(strPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        g_dwLastError = GetLastError();
        return nullptr;
    }
    return StreamOf(h, _O_WRONLY | _O_BINARY, "wb");
}

bool IsPlainOrAbsent(const std::string& strPath)
{
    DWORD dwAttrs = GetFileAttributesA(strPath.c_str());
    if (dwAttrs == INVALID_FILE_ATTRIBUTES) {
        DWORD dwError = GetLastError();
        return dwError == ERROR_FILE_NOT_FOUND;
    }
    if ((dwAttrs & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0)
        return false;
    HANDLE h = CreateFileA(strPath.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    bool bDisk = GetFileType(h) == FILE_TYPE_DISK;
    CloseHandle(h);
    return bDisk;
}

std::string LastErrorText()
{
    char sz[512] = "";
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, g_dwLastError, 0,
                             sz, sizeof(sz), nullptr);
    while (n > 0 && (sz[n - 1] == '\r' || sz[n - 1] == '\n' || sz[n - 1] == ' ' || sz[n - 1] == '.'))
        sz[--n] = '\0';
    if (n == 0)
        return "system error " + std::to_string(g_dwLastError);
    return sz;
}

bool IsDirectory(std::FILE* pFile)
{
    BY_HANDLE_FILE_INFORMATION info;
    HANDLE h = (HANDLE)_get_osfhandle(_fileno(pFile));
    return GetFileInformationByHandle(h, &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool IdOfOpen(std::FILE* pFile, FileId& id, uint64_t& nSize)
{
    BY_HANDLE_FILE_INFORMATION info;
    HANDLE h = (HANDLE)_get_osfhandle(_fileno(pFile));
    if (!GetFileInformationByHandle(h, &info))
        return false;
    id.nVolume = info.dwVolumeSerialNumber;
    id.nIndex = ((uint64_t)info.nFileIndexHigh << 32) | info.nFileIndexLow;
    nSize = ((uint64_t)info.nFileSizeHigh << 32) | info.nFileSizeLow;
    return true;
}

bool IdOfPath(const std::string& strPath, FileId& id)
{
    std::FILE* pFile = OpenForReading(strPath);
    if (pFile == nullptr)
        return false;
    uint64_t nSize = 0;
    bool bOk = IdOfOpen(pFile, id, nSize);
    std::fclose(pFile);
    return bOk;
}

bool SeekTo(std::FILE* pFile, uint64_t nOffset)
{
    return _fseeki64(pFile, (__int64)nOffset, SEEK_SET) == 0;
}

std::FILE* CreateBeside(const std::string& strPath, std::string& strTemp)
{
    for (unsigned n = 0; n < 100; ++n) {
        strTemp = strPath + ".qwlog-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(n);
        HANDLE h = CreateFileA(strTemp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE)
            return StreamOf(h, _O_WRONLY | _O_BINARY, "wb");
        g_dwLastError = GetLastError();
        if (g_dwLastError != ERROR_FILE_EXISTS && g_dwLastError != ERROR_ALREADY_EXISTS)
            return nullptr;
    }
    return nullptr;
}

bool MoveInPlace(const std::string& strTemp, const std::string& strPath)
{
    if (MoveFileExA(strTemp.c_str(), strPath.c_str(), MOVEFILE_REPLACE_EXISTING))
        return true;
    g_dwLastError = GetLastError();
    return false;
}

std::vector<std::string> ExpandWildcards(const std::vector<std::string>& aArgs)
{
    std::vector<std::string> aOut;
    for (const std::string& strArg : aArgs) {
        std::vector<std::string> aMatches;
        if (HasWildcard(strArg))
            aMatches = ExpandOne(strArg);
        if (aMatches.empty())
            aOut.push_back(strArg);
        else
            aOut.insert(aOut.end(), aMatches.begin(), aMatches.end());
    }
    return aOut;
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
