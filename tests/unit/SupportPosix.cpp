// The POSIX side of the test scaffolding: time zone and limits.
#include "Support.h"

#include <stdlib.h>
#include <string.h>
#include <time.h>

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

std::string PerUserDay(const std::string& strFolder) { return strFolder + "/quillwork/host.exe/Log/2024-05-01"; }

} // namespace qwtest
