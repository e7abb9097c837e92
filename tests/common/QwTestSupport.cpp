// The parts of the shared scaffold that read the same on every platform.
#include "QwTestSupport.h"

#include <stdio.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <mutex>
#include <random>
#include <system_error>

namespace fs = std::filesystem;

namespace qwtest {

const size_t MESSAGE_LIMIT = 2047;

namespace {

std::atomic<time_t> s_tNow(0);
std::mutex s_mtx;
std::vector<std::string> s_reports;
std::string s_strHostExe;

// The clock seam while SetNow's reading stands.
time_t FixedClock(void) { return s_tNow.load(); }

// The report sink: keeps each report for Reports().
void CaptureReport(const char* pszText)
{
    std::lock_guard<std::mutex> lock(s_mtx);
    s_reports.push_back(pszText);
}

// The host-path seam: copies the host's path as far as nSize allows and gives its
// length. Its types are taken from the seam's own, whatever the platform names them.
template <typename TLength, typename TSize>
TLength HostPath(char* pszPath, TSize nSize)
{
    snprintf(pszPath, (size_t)nSize, "%s", s_strHostExe.c_str());
    return (TLength)s_strHostExe.size();
}

} // namespace

time_t Utc(int nYear, int nMonth, int nDay, int nHour, int nMin, int nSec)
{
    // Days from 1970-01-01 to the date, by the civil-calendar count of years from March.
    const int y = nYear - (nMonth <= 2 ? 1 : 0);
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = y - era * 400;
    const int doy = (153 * (nMonth + (nMonth > 2 ? -3 : 9)) + 2) / 5 + nDay - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const long long nDays = (long long)era * 146097 + doe - 719468;
    return (time_t)(((nDays * 24 + nHour) * 60 + nMin) * 60 + nSec);
}

void SetNow(time_t tNow)
{
    s_tNow.store(tNow);
    QwSetClock(&FixedClock);
}

void RealClock() { QwSetClock(NULL); }

void UseHost(const std::string& strFolder)
{
    s_strHostExe = strFolder.empty() ? std::string() : strFolder + SEP + "host.exe";
    if (strFolder.empty())
        QwSetModulePath(NULL);
    else
        QwSetModulePath(&HostPath);
}

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

std::string ReadWhole(const std::string& strPath)
{
    FILE* p = fopen(strPath.c_str(), "rb");
    if (p == NULL)
        return "<missing>";
    std::string str;
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof(buf), p)) > 0)
        str.append(buf, n);
    fclose(p);
    return str;
}

void WriteWhole(const std::string& strPath, const std::string& strText)
{
    FILE* p = fopen(strPath.c_str(), "wb");
    ASSERT_TRUE(p != NULL) << strPath;
    const size_t nWritten = fwrite(strText.data(), 1, strText.size(), p);
    EXPECT_EQ(0, fclose(p)) << strPath;
    EXPECT_EQ(strText.size(), nWritten) << strPath;
}

bool IsDir(const std::string& strPath)
{
    std::error_code ec;
    return fs::is_directory(fs::path(strPath), ec);
}

bool Exists(const std::string& strPath)
{
    std::error_code ec;
    return fs::exists(fs::symlink_status(fs::path(strPath), ec));
}

bool MakeDir(const std::string& strPath)
{
    std::error_code ec;
    return fs::create_directory(fs::path(strPath), ec);
}

bool RemoveOne(const std::string& strPath)
{
    std::error_code ec;
    return fs::remove(fs::path(strPath), ec);
}

void RemoveTree(const std::string& strPath)
{
    std::error_code ec;
    fs::remove_all(fs::path(strPath), ec);
}

std::string MakeTempDir()
{
    static std::mt19937_64 s_rng(std::random_device{}());
    std::error_code ec;
    const fs::path base = fs::temp_directory_path(ec);
    for (int nTry = 0; nTry < 100 && !ec; ++nTry) {
        const fs::path dir = base / ("qwtest." + std::to_string(s_rng() % 1000000000ULL));
        if (fs::create_directory(dir, ec))
            return dir.string();
    }
    return std::string();
}

std::string OnlyLogFile(const std::string& strLogFolder)
{
    std::vector<std::string> days = ListDir(strLogFolder);
    if (days.size() != 1)
        return "";
    const std::string strDay = strLogFolder + SEP + days[0];
    std::vector<std::string> files = ListDir(strDay);
    return files.size() == 1 ? strDay + SEP + files[0] : "";
}

std::string OnlyFileText(const std::string& strFolder)
{
    std::vector<std::string> files = ListDir(strFolder);
    return files.size() == 1 ? ReadWhole(strFolder + SEP + files[0]) : "<" + std::to_string(files.size()) + " files>";
}

void LogTest::SetUp()
{
    UseUtc();
    m_strTemp = MakeTempDir();
    ASSERT_FALSE(m_strTemp.empty());
    m_strHost = m_strTemp + SEP + "host";
    ASSERT_TRUE(MakeDir(m_strHost)) << m_strHost;
    UseHost(m_strHost);
    UsePerUserFolder(PerUser());
    SetNow(Utc(2024, 5, 1, 9, 3, 7));
    ClearReports();
    QwSetReportSink(&CaptureReport);
}

void LogTest::TearDown()
{
    RealClock();
    UseHost("");
    QwSetReportSink(NULL);
    if (!m_strTemp.empty())
        RemoveTree(m_strTemp);
}

std::vector<std::string> LogTest::LogFiles() const
{
    std::vector<std::string> files;
    for (const std::string& strDay : ListDir(LogRoot()))
        for (const std::string& strName : ListDir(LogRoot() + SEP + strDay))
            files.push_back(strDay + "/" + strName);
    return files;
}

std::string LogTest::ReadLogFile(const std::string& strFile) const
{
    std::string strPath = LogRoot() + SEP + strFile;
    std::replace(strPath.begin(), strPath.end(), '/', SEP[0]);
    return ReadWhole(strPath);
}

void LogTest::MoveHost(const std::string& strFolder)
{
    m_strHost = strFolder;
    UseHost(strFolder);
}

} // namespace qwtest
