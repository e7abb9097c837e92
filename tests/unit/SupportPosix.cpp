// The POSIX side of the test scaffolding: time zone and limits.
#include "Support.h"

#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <filesystem>
#include <system_error>

namespace qwtest {

const size_t MESSAGE_LIMIT = 2047;  // the message buffer less its terminator
const std::string SEP = "/";

void UseUtc()
{
    setenv("TZ", "UTC", 1);
    tzset();
}

void UsePerUserFolder(const std::string& strFolder)
{
    static const std::string s_strHome = getenv("HOME") != NULL ? getenv("HOME") : "";
    if (strFolder.empty()) {
        unsetenv("XDG_STATE_HOME");
        unsetenv("HOME");
        return;
    }
    setenv("XDG_STATE_HOME", strFolder.c_str(), 1);
    if (!s_strHome.empty())
        setenv("HOME", s_strHome.c_str(), 1);
}

size_t OpenHandles()
{
    size_t nCount = 0;
    std::error_code ec;
    for (std::filesystem::directory_iterator it("/proc/self/fd", ec), end; !ec && it != end; it.increment(ec))
        ++nCount;
    return nCount;
}

std::string PerUserDay(const std::string& strFolder) { return strFolder + "/quillwork/host.exe/Log/2024-05-01"; }

} // namespace qwtest
