// Scaffolding of the reliability suites: a host folder of the test's own, the
// clock and report seams, sizes from the environment, figures, and the
// numbered entries that the thread and crash suites write and read back.
#ifndef QW_REL_SUPPORT_H
#define QW_REL_SUPPORT_H

#include "Framework.h"
#include "Os.h"
#include "Quillwork.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qwrel {

extern const char BANNER[];  // what Open writes: "\r\n------\r\n\r\n\r\n"

// nDefault, or nFull when QW_REL_FULL=1, or the number in pszName when that is set.
long SizeFromEnv(const char* pszName, long nDefault, long nFull);
// Prints "FIGURE <text>" on its own line of standard output.
void Figure(const std::string& strText);
std::string ReadFile(const std::string& strPath);
void WriteFile(const std::string& strPath, const std::string& strText);

// Points the module-path seam at <strHost>/host.exe (empty: back to the real path).
void UseHost(const std::string& strHost);
// Fixes the clock seam at a UTC calendar time; Utc(0, ...) gives the real clock back.
void FixClock(int nYear, int nMonth, int nDay, int nHour, int nMin, int nSec);
void RealClock();
std::vector<std::string> Reports();
void ClearReports();

// Each test gets its own host folder below the current folder, the real
// clock, TZ=UTC and reports captured; TearDown restores the seams and removes the folder.
class RelTest : public ::testing::Test
{
protected:
    void SetUp();
    void TearDown();
    std::string Host() const { return m_strHost; }
    std::string LogRoot() const { return m_strHost + SEP + "Log"; }
    std::string Day(const char* pszDate) const { return LogRoot() + SEP + pszDate; }
    // The log folder the per-user fallback gives this test's host.
    std::string PerUserLog() const;
    // The only file below the log folder, or below strLogFolder when given ("" when
    // there is not exactly one).
    std::string TheFile(const std::string& strLogFolder = "") const;

    std::string m_strHost;
};

// A log file cut into whole entries (each with its closing empty line) and
// whatever follows the last of them.
struct SplitFile
{
    bool bBanner;
    std::vector<std::string> entries;
    std::string strTail;
};
SplitFile SplitLog(const std::string& strFile);

// The numbered entries: even numbers are entries "t<t> n<n>", odd ones dumps of
// 20 bytes that carry t and n, in either direction and radix by the number.
void WriteNumbered(ILogObject* pLog, int nThread, int nNumber);
// The whole text WriteNumbered gives for the thread and number at a stamp.
std::string NumberedText(int nThread, int nNumber, const std::string& strStamp);
// Reads one entry back: TRUE when it is exactly what WriteNumbered wrote for
// the thread and number it names; gives those and its stamp.
bool ReadNumbered(const std::string& strEntry, int& nThread, int& nNumber, std::string& strStamp);

} // namespace qwrel

#endif
