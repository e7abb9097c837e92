#include "FuzzLog.h"

#include "Framework.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

namespace qwfuzz {

const char STAMP[] = "2024-05-01 09:03:07";

namespace {

std::string s_strHost;
std::string s_strFile;

DWORD HostPath(char* pszPath, DWORD nSize)
{
    std::string strExe = s_strHost + "/host.exe";
    snprintf(pszPath, nSize, "%s", strExe.c_str());
    return (DWORD)strExe.size();
}

time_t FixedClock(void) { return (time_t)1714554187; }  // 2024-05-01 09:03:07 UTC

void Quiet(const char*) {}

} // namespace

ILogObject* Log()
{
    static ILogObject* s_pLog = NULL;
    if (s_pLog != NULL)
        return s_pLog;
    setenv("TZ", "UTC", 1);
    tzset();
    const char* pszBase = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    char szHost[256];
    snprintf(szHost, sizeof(szHost), "%s/qwfuzz.%ld", pszBase, (long)getpid());
    mkdir(szHost, 0777);
    s_strHost = szHost;
    s_strFile = s_strHost + "/Log/2024-05-01/090307_fuzz.log";
    QwSetModulePath(&HostPath);
    QwSetClock(&FixedClock);
    QwSetReportSink(&Quiet);
    s_pLog = CreateLogObject(0);
    if (s_pLog == NULL || !s_pLog->Open("fuzz")) {
        fprintf(stderr, "cannot open the fuzzing log in %s\n", szHost);
        abort();
    }
    return s_pLog;
}

void Empty()
{
    Log();
    if (truncate(s_strFile.c_str(), 0) != 0)
        abort();
}

std::string Written()
{
    std::ifstream in(s_strFile.c_str(), std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void Mismatch(const std::string& strExpected, const std::string& strWritten)
{
    size_t n = 0;
    while (n < strExpected.size() && n < strWritten.size() && strExpected[n] == strWritten[n])
        ++n;
    fprintf(stderr, "layout differs from the model at byte %zu\nmodel:  %.200s\nlibrary: %.200s\n", n,
            strExpected.c_str() + (n > 40 ? n - 40 : 0), strWritten.c_str() + (n > 40 ? n - 40 : 0));
    abort();
}

} // namespace qwfuzz
