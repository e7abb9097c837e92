// The Windows side of the test scaffolding: time zone and limits.
#include "Support.h"

#include <windows.h>

#include <stdlib.h>
#include <string.h>
#include <time.h>

namespace qwtest {

const size_t MESSAGE_LIMIT = 2047;  // the message buffer less its terminator
const std::string SEP = "\\";

void UseUtc()
{
    _putenv("TZ=UTC0");
    _tzset();
}

void UsePerUserFolder(const std::string& strFolder)
{
    SetEnvironmentVariableA("LOCALAPPDATA", strFolder.empty() ? NULL : strFolder.c_str());
}

size_t OpenHandles()
{
    DWORD nCount = 0;
    GetProcessHandleCount(GetCurrentProcess(), &nCount);
    return nCount;
}

std::string PerUserDay(const std::string& strFolder) { return strFolder + "\\Quillwork\\host\\Log\\2024-05-01"; }

} // namespace qwtest
