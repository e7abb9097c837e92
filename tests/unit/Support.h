// Shared test scaffolding: a temporary host folder, a fixed clock, captured
// reports and a console table that records every call instead of making it.
#ifndef QW_UNIT_SUPPORT_H
#define QW_UNIT_SUPPORT_H

#include "Formatter.h"
#include "Framework.h"
#include "Probe.h"
#include "Quillwork.h"
#include "GuardedPages.h"

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace qwtest {

// Seconds since the epoch of a UTC calendar time.
time_t Utc(int nYear, int nMonth, int nDay, int nHour, int nMin, int nSec);

// The fixed clock's reading; the clock seam returns it while installed.
void SetNow(time_t tNow);

// Reports received since the last ClearReports.
std::vector<std::string> Reports();
void ClearReports();

// The console recorder: every call of the console table, in order.
struct ConsoleRecorder
{
    // Clears the calls; AllocConsole returns bAllocResult from now on.
    static void Reset(BOOL bAllocResult = TRUE);
    // The console's state as the recorder stands for it (kept up to date by the calls
    // that set sizes and colour), the state of its Close item and its input mode.
    static void Found(const QW_CONSOLE_STATE& state, unsigned int nCloseState, DWORD nInputMode);
    // Whether OpenConsoleOutput gives each object an output of its own (as on POSIX)
    // or NULL (as on Windows, where the standard handle is used).
    static void OwnOutput(bool bOwn);
    // The control handler installed now, or NULL.
    static PFN_QWCONTROL Handler();
    // All calls, queries (StdOutput, ConsoleTitle, FindConsoleWindow, SystemMenu...) included.
    static std::vector<std::string> All();
    // The calls that change or show something: queries, and the opening, closing and
    // batching of an object's own output, left out.
    static std::vector<std::string> Effects();
    // Everything given to WriteConsoleText, joined.
    static std::string Written();
    static const QW_CONSOLE_API* Table();
};

// The console the recorder stands for at the start of each test: a buffer of 80 x 300,
// a window of 80 x 25, yellow on blue (0x1E), Close item enabled, QuickEdit on.
QW_CONSOLE_STATE FoundConsole();
extern const DWORD FOUND_INPUT_MODE;

// The longest message an entry keeps: the formatter's own limit on each platform.
extern const size_t MESSAGE_LIMIT;
// The platform's path separator, as a string.
extern const std::string SEP;

// Makes TZ=UTC the process's time zone.
void UseUtc();

// Points the per-user folder of the library (XDG_STATE_HOME, LOCALAPPDATA) at
// strFolder; "" leaves the process without one (HOME unset on POSIX too).
void UsePerUserFolder(const std::string& strFolder);
// Descriptors (POSIX) or handles (Windows) the process holds open.
size_t OpenHandles();
// The day folder the per-user fallback gives host.exe in strFolder at 2024-05-01.
std::string PerUserDay(const std::string& strFolder);

std::string ReadWhole(const std::string& strPath);
void WriteWhole(const std::string& strPath, const std::string& strText);
bool IsDir(const std::string& strPath);
bool Exists(const std::string& strPath);
// Names in a folder, "." and ".." left out, sorted.
std::vector<std::string> ListDir(const std::string& strPath);
void RemoveTree(const std::string& strPath);
// Each returns whether it did what it says.
bool MakeDir(const std::string& strPath);
bool RemoveOne(const std::string& strPath);  // a file or an empty folder
// The message QwFormatV makes of the format and its arguments (2048-byte buffer).
std::string Formatted(const char* pszFormat, ...);
// A new, empty folder under the system's temporary folder.
std::string MakeTempDir();


struct Releaser
{
    void operator()(ILogObject* p) const
    {
        if (p != NULL)
            p->Release();
    }
};
typedef std::unique_ptr<ILogObject, Releaser> LogPtr;

extern const char BANNER[];  // what Open writes: "\r\n------\r\n\r\n\r\n"

// Each test gets <tmp>/host (native separators) as the host folder (host.exe inside it), the
// clock at 2024-05-01 09:03:07 UTC, TZ=UTC, reports captured and the console
// recorder installed. TearDown restores every seam and removes the folder.
class QwTest : public ::testing::Test
{
protected:
    void SetUp();
    void TearDown();

    LogPtr NewLog();
    std::string Host() const { return m_strHost; }
    std::string LogRoot() const { return m_strHost + SEP + "Log"; }
    std::string Day(const char* pszDate = "2024-05-01") const { return LogRoot() + SEP + pszDate; }
    // Makes strFolder the host folder: the host path seam gives strFolder/host.exe.
    void MoveHost(const std::string& strFolder);
    // The per-user folder the tests give the library (nothing of the user's own).
    std::string PerUser() const { return m_strTemp + SEP + "user"; }

    std::string m_strTemp;
    std::string m_strHost;
    LogPtr m_log;  // a fixture's own object; released first in TearDown, before its folder goes
};

} // namespace qwtest

#endif
