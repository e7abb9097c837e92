#include "Support.h"

#include "ConsoleShare.h"

#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <random>
#include <system_error>

namespace fs = std::filesystem;

namespace qwtest {

const char BANNER[] = "\r\n------\r\n\r\n\r\n";

namespace {

std::atomic<time_t> s_tNow(0);
std::mutex s_mtx;
std::vector<std::string> s_reports;
std::vector<std::string> s_calls;
BOOL s_bAllocResult = TRUE;
std::string s_strHostExe;

// Handles the recorder gives out; calls that take them check they got them back.
int s_out, s_wnd, s_menu;
QW_OUTPUT OutHandle() { return (QW_OUTPUT)&s_out; }

// The console the recorder stands for: what ConsoleState reads, kept up to date
// by the calls that set sizes and colour; its Close item and input mode.
QW_CONSOLE_STATE s_console;
unsigned int s_nCloseState = 0;
DWORD s_nInputMode = 0;
bool s_bOwnOutput = false;
PFN_QWCONTROL s_pfnHandler = NULL;

time_t FixedClock(void) { return s_tNow.load(); }

void CaptureReport(const char* pszText)
{
    std::lock_guard<std::mutex> lock(s_mtx);
    s_reports.push_back(pszText);
}

DWORD HostPath(char* pszPath, DWORD nSize)
{
    snprintf(pszPath, nSize, "%s", s_strHostExe.c_str());
    return (DWORD)s_strHostExe.size();
}

void Record(const std::string& str)
{
    std::lock_guard<std::mutex> lock(s_mtx);
    s_calls.push_back(str);
}

std::string Checked(QW_OUTPUT h) { return h == OutHandle() ? "" : " (wrong handle)"; }

BOOL RecAlloc(void) { Record("AllocConsole"); return s_bAllocResult; }
BOOL RecFree(void) { Record("FreeConsole"); return TRUE; }
QW_OUTPUT RecStd(void)
{
    Record("StdOutput");
    return OutHandle();
}
BOOL RecBuffer(QW_OUTPUT h, QW_CELLS size)
{
    Record("SetConsoleBuffer " + std::to_string(size.nX) + "," + std::to_string(size.nY) + Checked(h));
    s_console.size = size;
    return TRUE;
}
BOOL RecWindow(QW_OUTPUT h, const QW_RECT* p)
{
    Record("SetConsoleWindow " + std::to_string(p->nLeft) + "," + std::to_string(p->nTop) + "," +
           std::to_string(p->nRight) + "," + std::to_string(p->nBottom) + Checked(h));
    s_console.window = *p;
    return TRUE;
}
BOOL RecAttr(QW_OUTPUT h, WORD w)
{
    Record("SetConsoleColour " + std::to_string(w) + Checked(h));
    s_console.wAttr = w;
    return TRUE;
}
BOOL RecInfo(QW_OUTPUT h, QW_CONSOLE_STATE* p)
{
    Record("ConsoleState" + Checked(h));
    *p = s_console;
    return TRUE;
}
BOOL RecGetMode(DWORD* pn)
{
    Record("InputMode");
    *pn = s_nInputMode;
    return TRUE;
}
BOOL RecSetMode(DWORD n)
{
    char sz[64];
    snprintf(sz, sizeof(sz), "SetInputMode %X", (unsigned)n);
    Record(sz);
    s_nInputMode = n;
    return TRUE;
}
BOOL RecCtrl(PFN_QWCONTROL pfn, BOOL bAdd)
{
    Record("SetControlHandler " + std::to_string(bAdd) + (pfn != NULL ? "" : " (no handler)"));
    s_pfnHandler = bAdd ? pfn : NULL;
    return TRUE;
}
QW_OUTPUT RecOpenOut(void)
{
    Record("OpenConsoleOutput");
    return s_bOwnOutput ? OutHandle() : NULL;
}
void RecCloseOut(QW_OUTPUT h) { Record("CloseConsoleOutput" + Checked(h)); }
void RecBegin(QW_OUTPUT h) { Record("BeginConsoleBatch" + Checked(h)); }
void RecEnd(QW_OUTPUT h) { Record("EndConsoleBatch" + Checked(h)); }
DWORD RecTitle(char* psz, DWORD n)
{
    Record("ConsoleTitle");
    snprintf(psz, n, "qw");
    return 2;
}
BOOL RecWrite(QW_OUTPUT h, const char* p, DWORD n)
{
    Record("WriteConsoleText " + std::string(p, n) + Checked(h));
    return TRUE;
}
QW_WINDOW RecFind(const char* pszTitle)
{
    Record(std::string("FindConsoleWindow ") + pszTitle);
    return (QW_WINDOW)&s_wnd;
}
QW_MENU RecMenu(QW_WINDOW h)
{
    Record(std::string("SystemMenu") + (h == (QW_WINDOW)&s_wnd ? "" : " (wrong window)"));
    return (QW_MENU)&s_menu;
}
DWORD RecEnable(QW_MENU h, unsigned int nState)
{
    Record("EnableCloseItem " + std::to_string(nState) + (h == (QW_MENU)&s_menu ? "" : " (wrong menu)"));
    return 5;
}
unsigned int RecMenuState(QW_MENU h)
{
    Record(std::string("CloseItemState") + (h == (QW_MENU)&s_menu ? "" : " (wrong menu)"));
    return s_nCloseState;
}

const QW_CONSOLE_API s_recorder = { &RecAlloc,  &RecFree,      &RecStd,     &RecBuffer,   &RecWindow,
                                    &RecAttr,   &RecTitle,     &RecWrite,   &RecFind,     &RecMenu,
                                    &RecEnable, &RecMenuState, &RecInfo,    &RecGetMode,  &RecSetMode,
                                    &RecCtrl,   &RecOpenOut,   &RecCloseOut, &RecBegin,   &RecEnd };

// Queries, and the calls about an object's own output that show nothing by themselves.
bool IsQuery(const std::string& str)
{
    const char* apsz[] = { "StdOutput", "ConsoleTitle", "FindConsoleWindow", "SystemMenu", "CloseItemState",
                           "ConsoleState", "InputMode", "OpenConsoleOutput", "CloseConsoleOutput",
                           "BeginConsoleBatch", "EndConsoleBatch" };
    for (size_t i = 0; i < sizeof(apsz) / sizeof(apsz[0]); ++i)
        if (str.compare(0, strlen(apsz[i]), apsz[i]) == 0)
            return true;
    return false;
}

} // namespace

const DWORD FOUND_INPUT_MODE = 0xE7;  // line input, echo, insert, QuickEdit, extended flags

QW_CONSOLE_STATE FoundConsole()
{
    QW_CONSOLE_STATE state;
    memset(&state, 0, sizeof(state));
    state.size.nX = 80;
    state.size.nY = 300;
    state.wAttr = 0x1E;
    state.window.nRight = 79;
    state.window.nBottom = 24;
    return state;
}

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

void SetNow(time_t tNow) { s_tNow.store(tNow); }

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

void ConsoleRecorder::Reset(BOOL bAllocResult)
{
    std::lock_guard<std::mutex> lock(s_mtx);
    s_calls.clear();
    s_bAllocResult = bAllocResult;
}

void ConsoleRecorder::Found(const QW_CONSOLE_STATE& state, unsigned int nCloseState, DWORD nInputMode)
{
    std::lock_guard<std::mutex> lock(s_mtx);
    s_console = state;
    s_nCloseState = nCloseState;
    s_nInputMode = nInputMode;
}

void ConsoleRecorder::OwnOutput(bool bOwn) { s_bOwnOutput = bOwn; }

PFN_QWCONTROL ConsoleRecorder::Handler() { return s_pfnHandler; }

std::vector<std::string> ConsoleRecorder::All()
{
    std::lock_guard<std::mutex> lock(s_mtx);
    return s_calls;
}

std::vector<std::string> ConsoleRecorder::Effects()
{
    std::vector<std::string> all = All(), effects;
    for (size_t i = 0; i < all.size(); ++i)
        if (!IsQuery(all[i]))
            effects.push_back(all[i]);
    return effects;
}

std::string ConsoleRecorder::Written()
{
    std::vector<std::string> all = All();
    std::string str;
    const std::string strWrite = "WriteConsoleText ";
    for (size_t i = 0; i < all.size(); ++i)
        if (all[i].compare(0, strWrite.size(), strWrite) == 0)
            str += all[i].substr(strWrite.size());
    return str;
}

const QW_CONSOLE_API* ConsoleRecorder::Table() { return &s_recorder; }

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
    fwrite(strText.data(), 1, strText.size(), p);
    fclose(p);
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

std::vector<std::string> ListDir(const std::string& strPath)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(fs::path(strPath), ec), end; !ec && it != end; it.increment(ec))
        names.push_back(it->path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

void RemoveTree(const std::string& strPath)
{
    std::error_code ec;
    fs::remove_all(fs::path(strPath), ec);
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

std::string MakeTempDir()
{
    static std::mt19937_64 s_rng(std::random_device{}());
    const fs::path base = fs::temp_directory_path();
    for (int nTry = 0; nTry < 100; ++nTry) {
        const fs::path dir = base / ("qwunit." + std::to_string(s_rng() % 1000000000ULL));
        std::error_code ec;
        if (fs::create_directory(dir, ec))
            return dir.string();
    }
    return std::string();
}

void QwTest::SetUp()
{
    UseUtc();
    m_strTemp = MakeTempDir();
    ASSERT_FALSE(m_strTemp.empty());
    m_strHost = m_strTemp + SEP + "host";
    ASSERT_TRUE(MakeDir(m_strHost));
    s_strHostExe = m_strHost + SEP + "host.exe";
    UsePerUserFolder(PerUser());
    SetNow(Utc(2024, 5, 1, 9, 3, 7));
    ClearReports();
    ConsoleRecorder::Reset();
    ConsoleRecorder::Found(FoundConsole(), QW_CLOSE_ENABLED, FOUND_INPUT_MODE);
    ConsoleRecorder::OwnOutput(false);
    QwSetClock(&FixedClock);
    QwSetModulePath(&HostPath);
    QwSetReportSink(&CaptureReport);
    QwSetConsoleApi(ConsoleRecorder::Table());
}

void QwTest::TearDown()
{
    m_log.reset();
    EXPECT_EQ(0, CConsoleShare::Users()) << "an object still holds the process's console";
    QwSetClock(NULL);
    QwSetModulePath(NULL);
    QwSetReportSink(NULL);
    QwSetAllocator(NULL);
    QwSetConsoleApi(NULL);
    if (!m_strTemp.empty())
        RemoveTree(m_strTemp);
}

void QwTest::MoveHost(const std::string& strFolder)
{
    m_strHost = strFolder;
    s_strHostExe = strFolder + SEP + "host.exe";
}

LogPtr QwTest::NewLog() { return LogPtr(CreateLogObject(0)); }

std::string Formatted(const char* pszFormat, ...)
{
    char szBuf[2048];
    va_list args;
    va_start(args, pszFormat);
    QwFormatV(szBuf, sizeof(szBuf), pszFormat, args);
    va_end(args);
    return szBuf;
}

} // namespace qwtest
