// The Windows side of the shared scaffold: the platform's facts, the per-user
// folder, and names of folder entries in the process's code page.
#include "QwTestSupport.h"

#include <windows.h>

#include <stdlib.h>
#include <time.h>

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace qwtest {

const std::string SEP = "\\";

bool IsWindows() { return true; }

void UseUtc()
{
    _putenv("TZ=UTC0");
    _tzset();
}

void UsePerUserFolder(const std::string& strFolder) { SetEnvironmentVariableA("LOCALAPPDATA", strFolder.c_str()); }

void HidePerUserFolder() { SetEnvironmentVariableA("LOCALAPPDATA", NULL); }

void SetVariable(const char* pszName, const char* pszValue) { SetEnvironmentVariableA(pszName, pszValue); }

std::string PerUserLogFolder(const std::string& strFolder) { return strFolder + "\\Quillwork\\host\\Log"; }

size_t OpenHandles()
{
    DWORD nCount = 0;
    GetProcessHandleCount(GetCurrentProcess(), &nCount);
    return nCount;
}

namespace {
// A file name in the ANSI code page, as the library's narrow names read.
std::string AnsiName(const std::wstring& strName)
{
    const int nLen = WideCharToMultiByte(CP_ACP, 0, strName.c_str(), (int)strName.size(), NULL, 0, NULL, NULL);
    std::string str((size_t)(nLen > 0 ? nLen : 0), '\0');
    if (nLen > 0)
        WideCharToMultiByte(CP_ACP, 0, strName.c_str(), (int)strName.size(), &str[0], nLen, NULL, NULL);
    return str;
}
} // namespace

std::vector<std::string> ListDir(const std::string& strPath)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(fs::path(strPath), ec), end; !ec && it != end; it.increment(ec))
        names.push_back(AnsiName(it->path().filename().wstring()));
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace qwtest
