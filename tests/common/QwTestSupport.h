// The scaffold the unit and reliability suites share: a temporary folder of each
// test's own with the host inside it, the fixed clock, the host-path seam, the
// per-user folder, captured reports, file helpers, and the log's text shapes.
#ifndef QW_TEST_SUPPORT_H
#define QW_TEST_SUPPORT_H

#include "Framework.h"
#include "QwLogText.h"
#include "Quillwork.h"

#include <gtest/gtest.h>

#include <stddef.h>
#include <time.h>

#include <string>
#include <vector>

namespace qwtest {

// ---- Facts of the platform (one source per platform) ----

// The path separator, as a string.
extern const std::string SEP;
// The longest message an entry keeps: the formatter's buffer less its terminator.
extern const size_t MESSAGE_LIMIT;
bool IsWindows();
// Makes UTC the process's local time.
void UseUtc();
// Points the library's per-user folder (XDG_STATE_HOME, LOCALAPPDATA) at strFolder,
// which is not empty; HOME, where HidePerUserFolder took it, comes back.
void UsePerUserFolder(const std::string& strFolder);
// Leaves the process without a per-user folder (HOME unset on POSIX too).
void HidePerUserFolder();
// The log folder the per-user fallback gives the host "host.exe" below strFolder.
std::string PerUserLogFolder(const std::string& strFolder);
// Sets the environment variable pszName to pszValue in the process, as the
// library reads it; NULL removes it.
void SetVariable(const char* pszName, const char* pszValue);
// Descriptors (POSIX) or handles (Windows) the process holds open.
size_t OpenHandles();

// ---- Clock, host path and reports: the library's seams ----

// Seconds since the epoch of a UTC calendar time.
time_t Utc(int nYear, int nMonth, int nDay, int nHour, int nMin, int nSec);
// Installs the fixed clock, reading tNow from now on.
void SetNow(time_t tNow);
// Gives the library the real clock back.
void RealClock();
// Makes strFolder/host.exe the path of the host module; "" gives the real path back.
void UseHost(const std::string& strFolder);
// The reports received since the sink was installed or last cleared.
std::vector<std::string> Reports();
void ClearReports();

// ---- Files: each returns whether it did what it says, where it returns a bool ----

// The whole file, or "<missing>" when it cannot be opened.
std::string ReadWhole(const std::string& strPath);
// Makes strPath hold strText exactly (a failure of the test when it cannot).
void WriteWhole(const std::string& strPath, const std::string& strText);
bool IsDir(const std::string& strPath);
// Whether anything stands at strPath, a dangling link included.
bool Exists(const std::string& strPath);
// Names in a folder, "." and ".." left out, sorted; empty when it cannot be listed.
std::vector<std::string> ListDir(const std::string& strPath);
bool MakeDir(const std::string& strPath);
// Removes a file or an empty folder.
bool RemoveOne(const std::string& strPath);
// Removes a file or a folder with everything below it; links are removed, not followed.
void RemoveTree(const std::string& strPath);
// A new, empty folder under the system's temporary folder; "" when none can be made.
std::string MakeTempDir();
// The path of the only file in the only day folder of strLogFolder; "" when
// there is not exactly one of each.
std::string OnlyLogFile(const std::string& strLogFolder);
// The whole text of the only file in strFolder; "<n files>" when there is not exactly one.
std::string OnlyFileText(const std::string& strFolder);

// Each test gets a temporary folder of its own with the host folder "host" in it
// (host.exe inside, native separators) and the per-user folder "user" beside it;
// UTC as local time, the clock fixed at 2024-05-01 09:03:07 and reports captured.
// TearDown gives every seam back and removes the folder.
class LogTest : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    std::string Host() const { return m_strHost; }
    std::string LogRoot() const { return m_strHost + SEP + "Log"; }
    std::string Day(const char* pszDate = "2024-05-01") const { return LogRoot() + SEP + pszDate; }
    // Makes strFolder the host folder: the host-path seam gives strFolder/host.exe.
    void MoveHost(const std::string& strFolder);
    // The per-user folder the tests give the library (nothing of the user's own),
    // and the log and day folders its fallback makes there.
    std::string PerUser() const { return m_strTemp + SEP + "user"; }
    std::string PerUserLog() const { return PerUserLogFolder(PerUser()); }
    std::string PerUserDay(const char* pszDate = "2024-05-01") const { return PerUserLog() + SEP + pszDate; }
    // The only file below the log folder, or below strLogFolder when given.
    std::string TheFile(const std::string& strLogFolder = "") const
    {
        return OnlyLogFile(strLogFolder.empty() ? LogRoot() : strLogFolder);
    }
    // Every file below the log folder as "<day>/<name>", in the order of the day
    // folders and of the names in them (the order they were opened in, within a day).
    std::vector<std::string> LogFiles() const;
    // The whole text of a file LogFiles names.
    std::string ReadLogFile(const std::string& strFile) const;

    std::string m_strTemp;
    std::string m_strHost;
};

// The fixed clock's reading at the start of each test, as a stamp.
const std::string START_STAMP = "2024-05-01 09:03:07";

} // namespace qwtest

#endif
