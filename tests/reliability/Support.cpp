#include "Support.h"

#include "Model.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <fstream>
#include <mutex>
#include <sstream>

namespace qwrel {

const char BANNER[] = "\r\n------\r\n\r\n\r\n";

namespace {

std::string s_strHostExe;
time_t s_tNow = 0;
std::mutex s_mtx;
std::vector<std::string> s_reports;

DWORD HostPath(char* pszPath, DWORD nSize)
{
    snprintf(pszPath, nSize, "%s", s_strHostExe.c_str());
    return (DWORD)s_strHostExe.size();
}

time_t FixedClock(void) { return s_tNow; }

void CaptureReport(const char* pszText)
{
    std::lock_guard<std::mutex> lock(s_mtx);
    s_reports.push_back(pszText);
}

// Days from 1970-01-01 to the given date (proleptic Gregorian).
long DaysFromEpoch(int y, int m, int d)
{
    y -= m <= 2;
    long era = (y >= 0 ? y : y - 399) / 400;
    long yoe = y - era * 400;
    long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

// The 20 bytes of dump number nNumber of thread nThread: all below 100, so
// the decimal radix shows every one of them.
std::vector<unsigned char> NumberedData(int nThread, int nNumber)
{
    std::vector<unsigned char> data(20);
    data[0] = (unsigned char)nThread;
    for (int i = 0; i < 4; ++i) {
        data[1 + i] = (unsigned char)(nNumber % 100);
        nNumber /= 100;
    }
    for (int i = 5; i < 20; ++i)
        data[i] = (unsigned char)((nThread * 7 + i * 13) % 100);
    return data;
}

bool OutOf(int nNumber) { return nNumber % 4 == 1; }
bool HexOf(int nNumber) { return nNumber % 8 < 4; }

bool IsStamp(const std::string& str)
{
    static const char s_szShape[] = "dddd-dd-dd dd:dd:dd";
    if (str.size() < 19)
        return false;
    for (size_t i = 0; i < 19; ++i)
        if (s_szShape[i] == 'd' ? (str[i] < '0' || str[i] > '9') : str[i] != s_szShape[i])
            return false;
    return true;
}

} // namespace

long SizeFromEnv(const char* pszName, long nDefault, long nFull)
{
    const char* psz = getenv(pszName);
    if (psz != NULL && *psz != '\0')
        return strtol(psz, NULL, 10);
    const char* pszFull = getenv("QW_REL_FULL");
    return (pszFull != NULL && strcmp(pszFull, "1") == 0) ? nFull : nDefault;
}

void Figure(const std::string& strText)
{
    printf("FIGURE %s\n", strText.c_str());
    fflush(stdout);
}

std::string ReadFile(const std::string& strPath)
{
    std::ifstream in(strPath.c_str(), std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void WriteFile(const std::string& strPath, const std::string& strText)
{
    std::ofstream out(strPath.c_str(), std::ios::binary);
    out << strText;
}

void UseHost(const std::string& strHost)
{
    s_strHostExe = strHost + SEP + "host.exe";
    QwSetModulePath(strHost.empty() ? NULL : &HostPath);
}

void FixClock(int nYear, int nMonth, int nDay, int nHour, int nMin, int nSec)
{
    s_tNow = (time_t)(((DaysFromEpoch(nYear, nMonth, nDay) * 24 + nHour) * 60 + nMin) * 60 + nSec);
    QwSetClock(&FixedClock);
}

void RealClock() { QwSetClock(NULL); }

std::vector<std::string> Reports()
{
    std::lock_guard<std::mutex> lock(s_mtx);
    return s_reports;
}

void ClearReports()
{
    std::lock_guard<std::mutex> lock(s_mtx);
    s_reports.clear();
}

void RelTest::SetUp()
{
    UseUtc();
    const ::testing::TestInfo* pInfo = ::testing::UnitTest::GetInstance()->current_test_info();
    m_strHost = CurrentDir() + SEP + "qwrel_" + std::to_string(ProcessId()) + "_" + pInfo->name();
    RemoveTree(m_strHost);
    ASSERT_TRUE(MakeDir(m_strHost)) << m_strHost;
    UseHost(m_strHost);
    UsePerUserFolder(m_strHost + "_user");
    RealClock();
    ClearReports();
    QwSetReportSink(&CaptureReport);
}

std::string RelTest::PerUserLog() const
{
    return IsWindows() ? m_strHost + "_user\\Quillwork\\host\\Log" : m_strHost + "_user/quillwork/host.exe/Log";
}

void RelTest::TearDown()
{
    UseHost("");
    RealClock();
    QwSetReportSink(NULL);
    if (!HasFailure()) {
        RemoveTree(m_strHost);
        RemoveTree(m_strHost + "_user");
    }
}

std::string RelTest::TheFile(const std::string& strLogFolder) const
{
    std::string strLog = strLogFolder.empty() ? LogRoot() : strLogFolder;
    std::vector<std::string> days = ListDir(strLog);
    if (days.size() != 1)
        return "";
    std::vector<std::string> files = ListDir(strLog + SEP + days[0]);
    return files.size() == 1 ? strLog + SEP + days[0] + SEP + files[0] : "";
}

SplitFile SplitLog(const std::string& strFile)
{
    SplitFile split;
    size_t nBanner = strlen(BANNER);
    split.bBanner = strFile.compare(0, nBanner, BANNER) == 0;
    size_t nPos = split.bBanner ? nBanner : 0;
    for (;;) {
        size_t nEnd = strFile.find("\r\n\r\n", nPos);
        if (nEnd == std::string::npos)
            break;
        split.entries.push_back(strFile.substr(nPos, nEnd + 4 - nPos));
        nPos = nEnd + 4;
    }
    split.strTail = strFile.substr(nPos);
    return split;
}

void WriteNumbered(ILogObject* pLog, int nThread, int nNumber)
{
    if (nNumber % 2 == 0) {
        pLog->WriteLog("t%d n%d", nThread, nNumber);
        return;
    }
    std::vector<unsigned char> data = NumberedData(nThread, nNumber);
    pLog->WriteHex(&data[0], (unsigned int)data.size(), OutOf(nNumber), HexOf(nNumber));
}

std::string NumberedText(int nThread, int nNumber, const std::string& strStamp)
{
    if (nNumber % 2 == 0)
        return ModelEntry(strStamp, "t" + std::to_string(nThread) + " n" + std::to_string(nNumber));
    std::vector<unsigned char> data = NumberedData(nThread, nNumber);
    return ModelDump(strStamp, &data[0], data.size(), OutOf(nNumber), HexOf(nNumber));
}

bool ReadNumbered(const std::string& strEntry, int& nThread, int& nNumber, std::string& strStamp)
{
    if (!IsStamp(strEntry))
        return false;
    strStamp = strEntry.substr(0, 19);
    if (strEntry.compare(19, 3, "  t") == 0) {
        if (sscanf(strEntry.c_str() + 21, "t%d n%d", &nThread, &nNumber) != 2)
            return false;
        return nNumber % 2 == 0 && strEntry == NumberedText(nThread, nNumber, strStamp);
    }
    // A dump: the label's letter gives the radix, its first five values t and n.
    if (strEntry.size() < 40 || (strEntry[32] != 'h' && strEntry[32] != 'd'))
        return false;
    int nBase = strEntry[32] == 'h' ? 16 : 10;
    std::istringstream in(strEntry.substr(35, 15));
    unsigned long values[5];
    for (int i = 0; i < 5; ++i) {
        std::string strValue;
        in >> strValue;
        values[i] = strtoul(strValue.c_str(), NULL, nBase);
    }
    nThread = (int)values[0];
    nNumber = (int)(values[1] + values[2] * 100 + values[3] * 10000 + values[4] * 1000000);
    return nNumber % 2 == 1 && strEntry == NumberedText(nThread, nNumber, strStamp);
}

} // namespace qwrel
