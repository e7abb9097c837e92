// The [LOG] settings of Quillwork.ini (DIR, KEEPDAYS, KEEPMB), the reading
// rules of the configuration file, retention of old day folders under a fixed
// clock, and host folders longer than the classic path limit.
#include "Support.h"

#include "LogFolder.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

using namespace qwtest;
namespace fs = std::filesystem;

namespace {

class SettingsTest : public QwTest
{
protected:
    std::string Ini() const { return Host() + SEP + "Quillwork.ini"; }
};

class RetentionTest : public QwTest
{
protected:
    // Day folders of the 45 days up to 2024-05-01, each with the library's
    // files of nBytes each, last written long before the fixed clock's today.
    void PrepareDays(unsigned long long nBytes = 100)
    {
        ASSERT_TRUE(MakeDir(LogRoot()));
        for (int nDay = 0; nDay < 45; ++nDay) {
            std::string strDay = DayName(nDay);
            ASSERT_TRUE(MakeDir(Day(strDay.c_str())));
            AddOldFile(strDay, "090000.log", nBytes);
            AddOldFile(strDay, "101010_Trace.txt", nBytes);
        }
    }
    // The name of the day nDaysBack before 2024-05-01.
    static std::string DayName(int nDaysBack)
    {
        time_t t = Utc(2024, 5, 1, 12, 0, 0) - (time_t)nDaysBack * 86400;
        struct tm tmDay;
        QwLocalTime(&t, &tmDay);
        char sz[20];
        strftime(sz, sizeof(sz), "%Y-%m-%d", &tmDay);
        return sz;
    }
    // A file of nBytes in day folder strDay, last written three years ago.
    void AddOldFile(const std::string& strDay, const std::string& strName, unsigned long long nBytes)
    {
        std::string strPath = Day(strDay.c_str()) + SEP + strName;
        WriteWhole(strPath, "");
        std::error_code ec;
        fs::resize_file(strPath, nBytes, ec);
        ASSERT_FALSE(ec) << strPath;
        Age(strPath);
    }
    static void Age(const std::string& strPath)
    {
        std::error_code ec;
        fs::last_write_time(strPath, fs::file_time_type::clock::now() - std::chrono::hours(3 * 365 * 24), ec);
        ASSERT_FALSE(ec) << strPath;
    }
    void Configure(const std::string& strLog)
    {
        WriteWhole(Host() + SEP + "Quillwork.ini", "[LOG]\r\n" + strLog);
    }
    // The day folders left, newest first.
    std::vector<std::string> DaysLeft() const
    {
        std::vector<std::string> days = ListDir(LogRoot());
        return std::vector<std::string>(days.rbegin(), days.rend());
    }
    static std::vector<std::string> Newest(int nCount)
    {
        std::vector<std::string> days;
        for (int n = 0; n < nCount; ++n)
            days.push_back(DayName(n));
        return days;
    }
};

} // namespace

TEST_F(SettingsTest, ReadingRulesOfTheConfigurationFile)
{
    const std::string strBig = "[CONSOLE]\nOPEN=1\n[LOG]\nKEEPDAYS=3\n;" + std::string(10 * 1024 * 1024, 'x') + "\n";
    const std::string strAtLimit = "[CONSOLE]\nOPEN=1\n;" + std::string(65536 - 19, 'x') + "\n";
    // The console is on only where OPEN reads as 1 in [CONSOLE].
    struct { const char* pszWhat; bool bFile; std::string strIni; BOOL bConsole; int nKeepDays; } cases[] = {
        { "no file", false, "", FALSE, 0 },
        { "plain", true, "[CONSOLE]\nOPEN=1\n[LOG]\nKEEPDAYS=7\n", TRUE, 7 },
        { "CR LF", true, "[CONSOLE]\r\nOPEN=1\r\n", TRUE, 0 },
        { "OPEN=0", true, "[CONSOLE]\r\nOPEN=0\r\n", FALSE, 0 },
        { "OPEN=2", true, "[CONSOLE]\r\nOPEN=2\r\n", FALSE, 0 },
        { "OPEN=-1", true, "[CONSOLE]\r\nOPEN=-1\r\n", FALSE, 0 },
        { "a number first", true, "[CONSOLE]\r\nOPEN=1abc\r\n", TRUE, 0 },
        { "case and blanks", true, "[ console ]\n open = 1 \n", TRUE, 0 },
        { "another key", true, "[CONSOLE]\r\nCLOSE=1\r\n", FALSE, 0 },
        { "another section", true, "[OTHER]\r\nOPEN=1\r\n", FALSE, 0 },
        { "the key under the next section", true, "[CONSOLE]\r\n[OTHER]\r\nOPEN=1\r\n", FALSE, 0 },
        { "double quotes", true, "[CONSOLE]\nOPEN=\"1\"\n[LOG]\nKEEPDAYS=\"7\"\n", TRUE, 7 },
        { "single quotes", true, "[CONSOLE]\nOPEN='1'\n", TRUE, 0 },
        { "byte-order mark", true, "\xEF\xBB\xBF[CONSOLE]\r\nOPEN=1\r\n", TRUE, 0 },
        { "comments", true, ";[CONSOLE]\n[LOG]\n;KEEPDAYS=9\nKEEPDAYS=4\n[CONSOLE]\n; OPEN=0\nOPEN=1\n", TRUE, 4 },
        { "not a number", true, "[LOG]\nKEEPDAYS=seven\n", FALSE, 0 },
        { "negative", true, "[LOG]\nKEEPDAYS=-3\nKEEPMB=-1\n", FALSE, 0 },
        { "zero", true, "[LOG]\nKEEPDAYS=0\n", FALSE, 0 },
        { "64 KiB exactly", true, strAtLimit, TRUE, 0 },
        { "over 64 KiB", true, strAtLimit + "x", FALSE, 0 },
        { "10 MB", true, strBig, FALSE, 0 },
    };
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        SCOPED_TRACE(cases[i].pszWhat);
        RemoveOne(Ini());
        if (cases[i].bFile)
            WriteWhole(Ini(), cases[i].strIni);
        LogPtr log = NewLog();
        ASSERT_TRUE(log.get() != NULL);
        EXPECT_EQ(cases[i].bConsole, CTxtLogProbe::Console(log.get()));
        EXPECT_EQ(cases[i].nKeepDays, CTxtLogProbe::Folder(log.get()).KeepDays());
        EXPECT_EQ(0, CTxtLogProbe::Folder(log.get()).KeepMb());
        EXPECT_TRUE(ConsoleRecorder::All().empty());  // read at construction, shown only by Open
    }
    EXPECT_EQ(65536u, strAtLimit.size());
}

TEST_F(SettingsTest, OnlyARegularFileIsReadAndNothingBlocks)
{
    if (IsWindows())
        GTEST_SKIP() << "FIFOs and /dev/zero are POSIX's";
    // Each stands where Quillwork.ini should be; each reads as a missing file.
    std::string strFifo = m_strTemp + SEP + "fifo";
    ASSERT_EQ(0, system(("mkfifo '" + strFifo + "'").c_str()));
    std::string strIniFile = m_strTemp + SEP + "real.ini";
    WriteWhole(strIniFile, "[CONSOLE]\nOPEN=1\n");
    struct { const char* pszWhat; std::string strTarget; bool bFolder; BOOL bConsole; } cases[] = {
        { "a FIFO", strFifo, false, FALSE },
        { "a link to /dev/zero", "/dev/zero", false, FALSE },
        { "a link to a FIFO", strFifo, false, FALSE },
        { "a folder", "", true, FALSE },
        { "a link to a regular file", strIniFile, false, TRUE },
    };
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        SCOPED_TRACE(cases[i].pszWhat);
        RemoveTree(Ini());
        std::error_code ec;
        if (cases[i].bFolder)
            ASSERT_TRUE(MakeDir(Ini()));
        else if (i == 0)
            fs::rename(strFifo, Ini(), ec);
        else
            fs::create_symlink(cases[i].strTarget, Ini(), ec);
        ASSERT_FALSE(ec) << ec.message();
        LogPtr log = NewLog();  // a FIFO or /dev/zero read here would never return
        ASSERT_TRUE(log.get() != NULL);
        EXPECT_EQ(cases[i].bConsole, CTxtLogProbe::Console(log.get()));
        if (i == 0)
            fs::rename(Ini(), strFifo, ec);
    }
}

TEST_F(SettingsTest, DirPlacesTheLogFolder)
{
    const std::string strElsewhere = m_strTemp + SEP + "data" + SEP + "deep" + SEP + "logs";
    struct { const char* pszWhat; std::string strDir; std::string strRoot; } cases[] = {
        { "relative", "logs" + SEP + "here", Host() + SEP + "logs" + SEP + "here" },
        { "absolute, missing parents made", strElsewhere, strElsewhere },
        { "trailing separator", "mine" + SEP, Host() + SEP + "mine" },
        { "quoted", "\"quoted\"", Host() + SEP + "quoted" },
        { "empty: beside the host", "", LogRoot() },
    };
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        SCOPED_TRACE(cases[i].pszWhat);
        WriteWhole(Ini(), "[LOG]\nDIR=" + cases[i].strDir + "\n");
        LogPtr log = NewLog();
        ASSERT_EQ(TRUE, log->Open("Here"));
        EXPECT_EQ(BANNER, ReadWhole(cases[i].strRoot + SEP + "2024-05-01" + SEP + "090307_Here.log"));
        EXPECT_EQ(cases[i].strRoot, CTxtLogProbe::Folder(log.get()).Root());
        EXPECT_TRUE(Reports().empty());
        log.reset();
        RemoveTree(cases[i].strRoot);
    }
    EXPECT_EQ((std::vector<std::string>{ "Quillwork.ini", "logs" }), ListDir(Host())) << "no Log beside the host";
}

TEST_F(SettingsTest, HostFolderPastTheClassicPathLimit)
{
    const std::string strBase = Host();
    // 3000 makes the host's path buffer grow four times, and leaves room under
    // Linux's 4096-byte path for the folder Wine keeps its drive in.
    for (size_t nLength : { 300u, 3000u }) {
        SCOPED_TRACE(nLength);
        std::string strHost = strBase + SEP + std::to_string(nLength);
        while (strHost.size() < nLength)
            strHost += SEP + std::string(std::min<size_t>(200, nLength - strHost.size()), 'd');
        std::error_code ec;
        fs::create_directories(strHost, ec);
        ASSERT_FALSE(ec) << ec.message();
        WriteWhole(strHost + SEP + "Quillwork.ini", "[CONSOLE]\nOPEN=1\n");
        MoveHost(strHost);
        LogPtr log = NewLog();
        EXPECT_EQ(strHost, CTxtLogProbe::AppDir(log.get()));
        EXPECT_EQ(TRUE, CTxtLogProbe::Console(log.get())) << "Quillwork.ini read beside the host";
        ASSERT_EQ(TRUE, log->Open("Deep"));
        EXPECT_EQ(BANNER, ReadWhole(Day() + SEP + "090307_Deep.log"));
        EXPECT_TRUE(Reports().empty());
    }
}

TEST_F(RetentionTest, KeepDaysLeavesTodayAndTheDaysBeforeIt)
{
    struct { const char* pszIni; int nLeft; } cases[] = {
        { "KEEPDAYS=7\r\n", 7 }, { "KEEPDAYS=1\r\n", 1 }, { "KEEPDAYS=0\r\n", 45 }, { "KEEPDAYS=x\r\n", 45 },
        { "", 45 }, { "KEEPDAYS=44\r\n", 44 }, { "KEEPDAYS=400\r\n", 45 },
    };
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        SCOPED_TRACE(cases[i].pszIni);
        RemoveTree(LogRoot());
        PrepareDays();
        Configure(cases[i].pszIni);
        NewLog();
        EXPECT_EQ(Newest(cases[i].nLeft), DaysLeft());
        for (int n = 0; n < cases[i].nLeft; ++n)
            EXPECT_EQ((std::vector<std::string>{ "090000.log", "101010_Trace.txt" }), ListDir(Day(DayName(n).c_str())));
    }
}

TEST_F(RetentionTest, OnlyTheLibrarysOldFilesInRealDayFoldersGo)
{
    PrepareDays();
    const std::string strOld = DayName(20), strOlder = DayName(30), strOldest = DayName(44);
    // A stranger's files, in an old folder: they and their folder stay.
    for (const char* psz : { "notes.txt", "12345.log", "1234567.log", "090000.lg", "abcdef_x.log", "090000.log.bak" })
        AddOldFile(strOld, psz, 10);
    // A library-named file written since the cut-off (another process may be writing it).
    WriteWhole(Day(strOlder.c_str()) + SEP + "235959_Live.log", "live");
    // Not day folders: a folder of another name, a file named like a day.
    ASSERT_TRUE(MakeDir(LogRoot() + SEP + "archive"));
    WriteWhole(LogRoot() + SEP + "archive" + SEP + "090000.log", "kept");
    Age(LogRoot() + SEP + "archive" + SEP + "090000.log");
    WriteWhole(LogRoot() + SEP + "2024-01-01", "a file");
    Age(LogRoot() + SEP + "2024-01-01");
    // A link named like a day, to a folder outside the log folder.
    std::string strOutside = m_strTemp + SEP + "outside";
    ASSERT_TRUE(MakeDir(strOutside));
    WriteWhole(strOutside + SEP + "090000.log", "outside");
    Age(strOutside + SEP + "090000.log");
    std::error_code ec;
    fs::create_directory_symlink(strOutside, LogRoot() + SEP + "2024-01-02", ec);
    bool bLink = !ec;  // Windows may refuse links to an unprivileged user

    Configure("KEEPDAYS=7\r\n");
    LogPtr log = NewLog();
    std::vector<std::string> left(1, "archive");
    for (const std::string& strDay : Newest(7))
        left.push_back(strDay);
    left.push_back(strOld);
    left.push_back(strOlder);
    if (bLink)
        left.push_back("2024-01-02");
    left.push_back("2024-01-01");
    EXPECT_EQ(left, DaysLeft());
    EXPECT_EQ((std::vector<std::string>{ "090000.lg", "090000.log.bak", "12345.log", "1234567.log", "abcdef_x.log",
                                         "notes.txt" }),
              ListDir(Day(strOld.c_str())));
    EXPECT_EQ(std::vector<std::string>(1, "235959_Live.log"), ListDir(Day(strOlder.c_str())));
    EXPECT_EQ("kept", ReadWhole(LogRoot() + SEP + "archive" + SEP + "090000.log"));
    EXPECT_EQ("a file", ReadWhole(LogRoot() + SEP + "2024-01-01"));
    EXPECT_EQ("outside", ReadWhole(strOutside + SEP + "090000.log"));
    EXPECT_FALSE(Exists(Day(strOldest.c_str())));
    EXPECT_TRUE(Reports().empty());
}

TEST_F(RetentionTest, KeepMbRemovesTheOldestFilesFirstAndKeepsTodaysFolder)
{
    const unsigned long long KIB = 1024;
    struct { const char* pszWhat; unsigned long long nToday; const char* pszIni; int nLeft; } cases[] = {
        // 45 days of 2 x 50 KiB: ten days fit in 1 MiB, eleven do not.
        { "cap", 50 * KIB, "KEEPMB=1\r\n", 10 },
        { "cap of 2", 50 * KIB, "KEEPMB=2\r\n", 20 },
        { "today alone over the cap: its closed file goes too, its folder stays", 1200 * KIB, "KEEPMB=1\r\n", 1 },
        { "no cap", 50 * KIB, "KEEPMB=0\r\n", 45 },
        { "both limits: the stricter wins", 50 * KIB, "KEEPDAYS=5\r\nKEEPMB=1\r\n", 5 },
    };
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        SCOPED_TRACE(cases[i].pszWhat);
        RemoveTree(LogRoot());
        CLogFolder::ForgetTotals();  // a new log folder at the same path, the same day
        PrepareDays(50 * KIB);
        AddOldFile(DayName(0), "090000.log", cases[i].nToday);
        Configure(cases[i].pszIni);
        NewLog();
        EXPECT_EQ(Newest(cases[i].nLeft), DaysLeft());
    }
}

TEST_F(RetentionTest, CleaningRunsAtEachOpenAndSparesTheObjectsOwnDay)
{
    PrepareDays();
    Configure("KEEPDAYS=1\r\n");
    SetNow(Utc(2024, 4, 30, 23, 59, 59));
    LogPtr log = NewLog();  // its day folder is yesterday's, fixed at construction
    EXPECT_EQ(Newest(2), DaysLeft());
    SetNow(Utc(2024, 5, 1, 0, 0, 1));
    ASSERT_TRUE(MakeDir(Day("2024-05-02")));  // a later day (clock set back elsewhere) stays
    ASSERT_EQ(TRUE, log->Open("Late"));
    EXPECT_EQ((std::vector<std::string>{ "2024-05-02", "2024-05-01", "2024-04-30" }), DaysLeft());
    EXPECT_EQ(BANNER, ReadWhole(Day("2024-04-30") + SEP + "000001_Late.log"));
    // The next day's Open, from an object of today: yesterday's files go, the live one stays.
    log->Close();
    for (const std::string& strName : ListDir(Day("2024-04-30")))
        if (strName != "000001_Late.log")
            Age(Day("2024-04-30") + SEP + strName);
    LogPtr today = NewLog();
    EXPECT_EQ((std::vector<std::string>{ "2024-05-02", "2024-05-01", "2024-04-30" }), DaysLeft());
    EXPECT_EQ(std::vector<std::string>(1, "000001_Late.log"), ListDir(Day("2024-04-30")));
}

TEST_F(SettingsTest, UnicodeHostFoldersReadTheirIniAndTakeTheirLogs)
{
    // The host path seam gives UTF-8 text, as the library keeps paths on Windows.
    const char* apszNames[] = { u8"Журнал", u8"日本語", u8"😀", u8"Журнал_日本語_😀/Ordner-ünïcode" };
    for (const char* pszName : apszNames) {
        SCOPED_TRACE(pszName);
        std::string strHost = Host() + SEP + pszName;
        std::replace(strHost.begin(), strHost.end(), '/', SEP[0]);
        std::error_code ec;
        fs::create_directories(fs::u8path(strHost), ec);
        ASSERT_FALSE(ec) << ec.message();
        {
            std::ofstream ini(fs::u8path(strHost + SEP + "Quillwork.ini"), std::ios::binary);
            ini << "[CONSOLE]\r\nOPEN=1\r\n";
        }
        MoveHost(strHost);
        ConsoleRecorder::Reset();
        LogPtr log = NewLog();
        EXPECT_EQ(TRUE, CTxtLogProbe::Console(log.get()));
        ASSERT_EQ(TRUE, log->Open("Trace"));
        std::vector<std::string> calls = ConsoleRecorder::Effects();
        EXPECT_TRUE(!calls.empty() && calls[0] == "AllocConsole") << "the mirror comes on";
        std::ifstream file(fs::u8path(strHost + SEP + "Log" + SEP + "2024-05-01" + SEP + "090307_Trace.log"), std::ios::binary);
        std::string strFile((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        EXPECT_EQ(BANNER, strFile);
        EXPECT_TRUE(Reports().empty());
    }
}

TEST_F(RetentionTest, AFileHeldOpenByAnotherObjectStaysAndItsDayFolderComesBack)
{
    // Object A is made a moment before midnight; B, made the next morning with
    // retention on, cleans A's day while A holds its file (or before A opens).
    const unsigned long long KIB = 1024;
    // With KEEPMB, today's folder alone is over the cap: every older day goes.
    struct { const char* pszWhat; const char* pszIni; bool bOpenFirst; const char* pszAfter; } cases[] = {
        { "KEEPDAYS, file open", "KEEPDAYS=1\r\n", true, "2024-05-01 09:03:07" },
        { "KEEPMB, file open", "KEEPMB=1\r\n", true, "2024-05-01 09:03:07" },
        { "KEEPDAYS, nothing opened yet", "KEEPDAYS=1\r\n", false, "2024-04-30 23:59:59" },
    };
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        SCOPED_TRACE(cases[i].pszWhat);
        RemoveTree(LogRoot());
        CLogFolder::ForgetTotals();
        PrepareDays(50 * KIB);
        Configure(cases[i].pszIni);
        SetNow(Utc(2024, 4, 30, 23, 59, 59));
        LogPtr held = NewLog();
        const std::string strHeld = Day("2024-04-30") + SEP + "235959_Held.log";
        if (cases[i].bOpenFirst) {
            ASSERT_EQ(TRUE, held->Open("Held"));
            ASSERT_EQ(TRUE, held->WriteLog("before"));
            Age(strHeld);  // idle since long before the cut-off
        }
        AddOldFile(DayName(0), "090000.log", 1200 * KIB);
        SetNow(Utc(2024, 5, 1, 9, 3, 7));
        LogPtr cleaner = NewLog();
        std::vector<std::string> left(1, "2024-05-01");
        if (cases[i].bOpenFirst)
            left.insert(left.begin(), "2024-04-30");
        EXPECT_EQ(left, ListDir(LogRoot())) << "cleaning ran";
        if (!cases[i].bOpenFirst) {
            SetNow(Utc(2024, 4, 30, 23, 59, 59));
            ASSERT_EQ(TRUE, held->Open("Held"));
            ASSERT_EQ(TRUE, held->WriteLog("before"));
        }
        EXPECT_EQ((std::vector<std::string>{ "2024-04-30", "2024-05-01" }), ListDir(LogRoot()));
        EXPECT_EQ(std::vector<std::string>(1, "235959_Held.log"), ListDir(Day("2024-04-30")));
        ASSERT_EQ(TRUE, held->WriteLog("after"));
        held.reset();
        EXPECT_EQ(std::string(BANNER) + "2024-04-30 23:59:59  before\r\n\r\n" + cases[i].pszAfter + "  after\r\n\r\n",
                  ReadWhole(strHeld));
        SetNow(Utc(2024, 5, 1, 9, 3, 7));
    }
}

TEST_F(QwTest, LinksAndSpecialFilesAtTheLogsNameAreRefused)
{
    // Each stands at 090307_Trap.log before Open; none is followed or written.
    const std::string strTrap = Day() + SEP + "090307_Trap.log";
    const std::string strTarget = m_strTemp + SEP + "target.txt";
    struct { const char* pszWhat; int nKind; } cases[] = {
        { "link to a file outside", 0 }, { "dangling link", 1 }, { "hard link to a file outside", 2 },
        { "a folder", 3 }, { "a FIFO", 4 }, { "link to /dev/null", 5 },
    };
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        SCOPED_TRACE(cases[i].pszWhat);
        LogPtr log = NewLog();
        WriteWhole(strTarget, "target");
        std::error_code ec;
        bool bPlanted = true;
        switch (cases[i].nKind) {
        case 0: fs::create_symlink(strTarget, strTrap, ec); break;
        case 1: fs::create_symlink(m_strTemp + SEP + "made-through-link", strTrap, ec); break;
        case 2: fs::create_hard_link(strTarget, strTrap, ec); break;
        case 3: bPlanted = MakeDir(strTrap); break;
        case 4: bPlanted = !IsWindows() && system(("mkfifo '" + strTrap + "'").c_str()) == 0; break;
        case 5: bPlanted = !IsWindows(); if (bPlanted) fs::create_symlink("/dev/null", strTrap, ec); break;
        }
        if (ec || !bPlanted) {
            // Windows may refuse links to an unprivileged user; POSIX makes them all.
            EXPECT_TRUE(IsWindows()) << ec.message();
            RemoveTree(strTrap);
            continue;
        }
        EXPECT_EQ(FALSE, log->Open("Trap"));  // a FIFO opened for writing would block here
        EXPECT_EQ(TRUE, log->WriteLog("lost"));
        EXPECT_TRUE(CTxtLogProbe::File(log.get()) == NULL);
        EXPECT_EQ("target", ReadWhole(strTarget));
        EXPECT_FALSE(Exists(m_strTemp + SEP + "made-through-link"));
        log.reset();
        fs::remove(strTrap, ec);
        RemoveTree(strTrap);
    }
}
