// The POSIX side of the shared scaffold: the platform's facts, the per-user
// folder and the folder helpers.
#include "QwTestSupport.h"

#include <stdlib.h>
#include <time.h>

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace qwtest {

const std::string SEP = "/";

bool IsWindows() { return false; }

void UseUtc()
{
    setenv("TZ", "UTC", 1);
    tzset();
}

namespace {
// HOME as the process had it before any test took it away.
const std::string& OwnHome()
{
    static const std::string s_strHome = getenv("HOME") != NULL ? getenv("HOME") : "";
    return s_strHome;
}
} // namespace

void UsePerUserFolder(const std::string& strFolder)
{
    OwnHome();
    setenv("XDG_STATE_HOME", strFolder.c_str(), 1);
    if (!OwnHome().empty())
        setenv("HOME", OwnHome().c_str(), 1);
}

void HidePerUserFolder()
{
    OwnHome();
    unsetenv("XDG_STATE_HOME");
    unsetenv("HOME");
}

void SetVariable(const char* pszName, const char* pszValue)
{
    if (pszValue == NULL)
        unsetenv(pszName);
    else
        setenv(pszName, pszValue, 1);
}

std::string PerUserLogFolder(const std::string& strFolder) { return strFolder + "/quillwork/host.exe/Log"; }

size_t OpenHandles()
{
    size_t nCount = 0;
    std::error_code ec;
    for (fs::directory_iterator it("/proc/self/fd", ec), end; !ec && it != end; it.increment(ec))
        ++nCount;
    return nCount;
}

std::vector<std::string> ListDir(const std::string& strPath)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(fs::path(strPath), ec), end; !ec && it != end; it.increment(ec))
        names.push_back(it->path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace qwtest
