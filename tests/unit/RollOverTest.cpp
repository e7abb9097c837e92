// [LOG] DAILY and MAXFILEMB under the fixed clock: the entry that crosses
// midnight or finds its file full goes whole into a new file that starts with
// its banner; without the keys nothing moves; KEEPDAYS and KEEPMB over a month
// of days and over the files a move closed (never one another object holds);
// names planted at the next file; threads writing, opening and closing while
// the clock crosses midnight (and goes back).
#include "Support.h"

#include <string.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <thread>

using namespace qwtest;

namespace {

struct Step
{
    time_t tWhen;  // 0: the clock stays
    const char* pszText;
};

// One record of a log file: an entry's stamp and message, or a banner.
struct Record
{
    bool bBanner;
    std::string strStamp;
    std::string strText;
};

// Splits a whole log file into its records. FALSE (with strWhy) when the file
// does not start with a banner or holds anything but whole banners and entries.
bool ReadRecords(const std::string& strFile, std::vector<Record>& records, std::string& strWhy)
{
    const SplitFile split = SplitLog(strFile);
    if (!split.bBanner) {
        strWhy = "no banner first";
        return false;
    }
    records.push_back(Record{ true, "", "" });
    size_t nAt = sizeof(BANNER) - 1;
    for (const std::string& str : split.entries) {
        Record record = { str == BANNER, "", "" };
        if (!record.bBanner) {
            // An entry's stamp ends with two spaces (its text follows), a dump's with its arrow.
            const size_t nText = str.size() - 4;
            bool bEntry = nText >= 21 && str.compare(19, 2, "  ") == 0;
            bool bDump = nText >= 24 && (str.compare(19, 5, " --> ") == 0 || str.compare(19, 5, " <-- ") == 0);
            if (!bEntry && !bDump) {
                strWhy = "broken record at " + std::to_string(nAt);
                return false;
            }
            record.strStamp = str.substr(0, 19);
            record.strText = str.substr(bEntry ? 21 : 19, nText - (bEntry ? 21 : 19));
        }
        records.push_back(record);
        nAt += str.size();
    }
    if (!split.strTail.empty()) {
        strWhy = "broken record at " + std::to_string(nAt);
        return false;
    }
    return true;
}

class RollOverTest : public QwTest
{
protected:
    void Configure(const std::string& strLog) { WriteWhole(Host() + SEP + "Quillwork.ini", "[LOG]\r\n" + strLog); }

    // The entries of every file in order; each file must be whole records, its
    // first a banner, and each entry's date that of its day folder.
    std::vector<std::string> AllEntries(const std::vector<std::string>& files) const
    {
        std::vector<std::string> entries;
        for (size_t i = 0; i < files.size(); ++i) {
            std::vector<Record> records;
            std::string strWhy;
            EXPECT_TRUE(ReadRecords(ReadLogFile(files[i]), records, strWhy)) << files[i] << ": " << strWhy;
            for (size_t j = 0; j < records.size(); ++j) {
                if (records[j].bBanner)
                    continue;
                EXPECT_EQ(files[i].substr(0, 10), records[j].strStamp.substr(0, 10)) << files[i];
                entries.push_back(records[j].strText);
            }
        }
        return entries;
    }
};

} // namespace

TEST_F(RollOverTest, TheEntryThatCrossesMidnightStartsTheNewDaysFile)
{
    const time_t tOpen = Utc(2024, 5, 1, 23, 59, 50);
    const time_t tBefore = Utc(2024, 5, 1, 23, 59, 58), tAfter = Utc(2024, 5, 2, 0, 0, 2);
    const std::string strA = Entry("2024-05-01 23:59:58", "A"), strB = Entry("2024-05-02 00:00:02", "B");
    const std::string strDump = "2024-05-02 00:00:02 --> 00000000h: 51 57 \r\n\r\n";
    struct Case
    {
        const char* pszWhat;
        std::string strIni;
        std::vector<Step> steps;  // "#" writes a dump of "QW" instead of an entry
        std::vector<std::pair<std::string, std::string> > files;
        const char* pszDayAfter;
    } cases[] = {
        { "no key: both in the first day's file, as ever", "", { { tBefore, "A" }, { tAfter, "B" } },
          { { "2024-05-01/235950_Run.log", BANNER + strA + strB } }, "2024-05-01" },
        { "DAILY=0", "DAILY=0\r\n", { { tBefore, "A" }, { tAfter, "B" } },
          { { "2024-05-01/235950_Run.log", BANNER + strA + strB } }, "2024-05-01" },
        { "DAILY=2 is not 1", "DAILY=2\r\n", { { tBefore, "A" }, { tAfter, "B" } },
          { { "2024-05-01/235950_Run.log", BANNER + strA + strB } }, "2024-05-01" },
        { "DAILY=1", "DAILY=1\r\n", { { tBefore, "A" }, { tAfter, "B" } },
          { { "2024-05-01/235950_Run.log", BANNER + strA }, { "2024-05-02/000002_Run.log", BANNER + strB } },
          "2024-05-02" },
        { "DAILY=1, a dump crosses", "DAILY=1\r\n", { { tBefore, "A" }, { tAfter, "#" } },
          { { "2024-05-01/235950_Run.log", BANNER + strA }, { "2024-05-02/000002_Run.log", BANNER + strDump } },
          "2024-05-02" },
        { "DAILY=1, the clock goes back over midnight and forth again", "DAILY=1\r\n",
          { { tBefore, "A" }, { tAfter, "B" }, { Utc(2024, 5, 1, 23, 59, 59), "C" }, { tAfter, "D" } },
          { { "2024-05-01/235950_Run.log", BANNER + strA },
            { "2024-05-01/235959_Run.log", BANNER + Entry("2024-05-01 23:59:59", "C") },
            { "2024-05-02/000002_Run.log", BANNER + strB + BANNER + Entry("2024-05-02 00:00:02", "D") } },
          "2024-05-02" },
        { "DAILY=1 and MAXFILEMB=1 combine", "DAILY=1\r\nMAXFILEMB=1\r\n", { { tBefore, "A" }, { tAfter, "B" } },
          { { "2024-05-01/235950_Run.log", BANNER + strA }, { "2024-05-02/000002_Run.log", BANNER + strB } },
          "2024-05-02" },
        { "DAILY=1, three days without an entry", "DAILY=1\r\n", { { tBefore, "A" }, { Utc(2024, 5, 4, 8, 0, 0), "B" } },
          { { "2024-05-01/235950_Run.log", BANNER + strA },
            { "2024-05-04/080000_Run.log", BANNER + Entry("2024-05-04 08:00:00", "B") } },
          "2024-05-04" },
    };
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.pszWhat);
        RemoveTree(LogRoot());
        Configure(c.strIni);
        SetNow(tOpen);
        LogPtr log = NewLog();
        ASSERT_TRUE(log->Open("Run"));
        for (size_t j = 0; j < c.steps.size(); ++j) {
            SetNow(c.steps[j].tWhen);
            if (strcmp(c.steps[j].pszText, "#") == 0)
                log->WriteHex((const unsigned char*)"QW", 2, TRUE, TRUE);
            else
                log->WriteLog("%s", c.steps[j].pszText);
        }
        EXPECT_EQ(Day(c.pszDayAfter), CTxtLogProbe::LogDir(log.get()));
        log.reset();
        std::vector<std::string> want;
        for (size_t j = 0; j < c.files.size(); ++j) {
            want.push_back(c.files[j].first);
            EXPECT_EQ(c.files[j].second, ReadLogFile(c.files[j].first)) << c.files[j].first;
        }
        EXPECT_EQ(want, LogFiles());
    }
}

TEST_F(RollOverTest, OpenFollowsTheDayTooWithDaily)
{
    Configure("DAILY=1\r\n");
    SetNow(Utc(2024, 5, 1, 23, 59, 58));
    LogPtr log = NewLog();
    ASSERT_TRUE(log->Open(NULL));
    SetNow(Utc(2024, 5, 2, 0, 0, 1));
    log->WriteLog("first");
    // The object's day folder moved: Close and Open stay in it.
    log->Close();
    SetNow(Utc(2024, 5, 2, 0, 0, 3));
    ASSERT_TRUE(log->Open(NULL));
    log->WriteLog("second");
    // Opened days later, the file goes into the folder of its own day at once.
    log->Close();
    SetNow(Utc(2024, 5, 4, 7, 0, 0));
    ASSERT_TRUE(log->Open(NULL));
    EXPECT_EQ(Day("2024-05-04"), CTxtLogProbe::LogDir(log.get()));
    log->WriteLog("third");
    log.reset();
    std::vector<std::string> want = { "2024-05-01/235958.log", "2024-05-02/000001.log", "2024-05-02/000003.log",
                                      "2024-05-04/070000.log" };
    EXPECT_EQ(want, LogFiles());
    EXPECT_EQ(BANNER + Entry("2024-05-02 00:00:03", "second"), ReadLogFile("2024-05-02/000003.log"));
    EXPECT_EQ(BANNER + Entry("2024-05-04 07:00:00", "third"), ReadLogFile("2024-05-04/070000.log"));
    EXPECT_TRUE(Reports().empty());
}

TEST_F(RollOverTest, AFullFileIsFollowedByANewOneAndNoEntryIsLost)
{
    // 3.5 MiB of entries of about 1 KiB; the clock moves on every nPerSecond entries.
    struct Case
    {
        const char* pszWhat;
        const char* pszIni;
        unsigned int nPerSecond;
        size_t nMinFiles, nMaxFiles;
        unsigned long long nMaxBytes;
    } cases[] = {
        { "MAXFILEMB=1, a new second every 64 entries", "MAXFILEMB=1\r\n", 64, 3, 4, (1u << 20) + 64 * 1100 },
        { "MAXFILEMB=1, a new second every entry", "MAXFILEMB=1\r\n", 1, 3, 4, (1u << 20) + 1100 },
        { "MAXFILEMB=1, one second throughout: the file waits", "MAXFILEMB=1\r\n", 1u << 30, 1, 1, 4u << 20 },
        { "MAXFILEMB=0: one file", "MAXFILEMB=0\r\n", 1, 1, 1, 4u << 20 },
        { "MAXFILEMB=-1: one file", "MAXFILEMB=-1\r\n", 1, 1, 1, 4u << 20 },
        { "no key: one file", "", 1, 1, 1, 4u << 20 },
    };
    const std::string strPad(1000, 'x');
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.pszWhat);
        RemoveTree(LogRoot());
        Configure(c.pszIni);
        time_t tNow = Utc(2024, 5, 1, 10, 0, 0);
        SetNow(tNow);
        LogPtr log = NewLog();
        ASSERT_TRUE(log->Open("Big"));
        std::vector<std::string> written;
        for (unsigned int n = 0; written.size() * 1000 < 3584u * 1024u; ++n) {
            if (n != 0 && n % c.nPerSecond == 0)
                SetNow(++tNow);
            written.push_back(std::to_string(n) + " " + strPad);
            log->WriteLog("%s", written.back().c_str());
        }
        log.reset();
        std::vector<std::string> files = LogFiles();
        EXPECT_GE(files.size(), c.nMinFiles);
        EXPECT_LE(files.size(), c.nMaxFiles);
        for (size_t j = 0; j < files.size(); ++j)
            EXPECT_LE(ReadLogFile(files[j]).size(), c.nMaxBytes) << files[j];
        EXPECT_TRUE(AllEntries(files) == written) << "entries lost, doubled or out of order";
    }
}

TEST_F(RollOverTest, ADumpLargerThanTheLimitStaysWholeAndTheNextEntryMovesOn)
{
    Configure("MAXFILEMB=1\r\n");
    LogPtr log = NewLog();
    ASSERT_TRUE(log->Open("Dump"));
    std::vector<unsigned char> data(3u << 20, 0xA5);
    log->WriteHex(&data[0], (unsigned int)data.size(), TRUE, TRUE);
    SetNow(Utc(2024, 5, 1, 9, 3, 8));
    log->WriteLog("after");
    log.reset();
    std::vector<std::string> want = { "2024-05-01/090307_Dump.log", "2024-05-01/090308_Dump.log" };
    ASSERT_EQ(want, LogFiles());
    std::string strFirst = ReadLogFile(want[0]);
    EXPECT_GT(strFirst.size(), 3u << 20);
    EXPECT_EQ("\r\n\r\n", strFirst.substr(strFirst.size() - 4));
    EXPECT_EQ(BANNER + Entry("2024-05-01 09:03:08", "after"), ReadLogFile(want[1]));
}

TEST_F(RollOverTest, KeepMbRemovesTheClosedFilesOfTodayButNeverTheOneBeingWritten)
{
    // Written "now" by the real clock, two days before the fixed one: old enough.
    Configure("MAXFILEMB=1\r\nKEEPMB=2\r\n");
    time_t tNow = (time(NULL) / 86400 + 2) * 86400 + 3600;
    SetNow(tNow);
    LogPtr log = NewLog();
    ASSERT_TRUE(log->Open("Trim"));
    const std::string strPad(900, 'y');  // within the formatter's limit on every platform
    std::vector<std::string> written;
    for (unsigned int n = 0; n < 9000; ++n) {  // about 8 MiB
        if (n % 64 == 0)
            SetNow(++tNow);
        written.push_back(std::to_string(n) + " " + strPad);
        log->WriteLog("%s", written.back().c_str());
    }
    std::vector<std::string> files = LogFiles();
    unsigned long long nTotal = 0;
    for (size_t i = 0; i < files.size(); ++i)
        nTotal += ReadLogFile(files[i]).size();
    EXPECT_LE(nTotal, (3u << 20) + 1000) << files.size() << " files";
    // What is left is the newest part of the run, whole and in order, up to the last entry.
    std::vector<std::string> left = AllEntries(files);
    ASSERT_FALSE(left.empty());
    EXPECT_TRUE(std::equal(left.begin(), left.end(), written.end() - (std::ptrdiff_t)left.size()));
    EXPECT_GE(left.size(), 1000u);
    log->WriteLog("still writing");
    EXPECT_EQ("still writing", AllEntries(std::vector<std::string>(1, LogFiles().back())).back());
}

TEST_F(RollOverTest, AMonthOfDailyFilesKeepsTheConfiguredDaysWhole)
{
    // The fixed clock runs ahead of the real one, so every file the run writes was
    // last written (real time) before the days it belongs to end.
    struct Case
    {
        const char* pszWhat;
        const char* pszIni;
        unsigned int nDumpBytes;
        size_t nMinDays, nMaxDays;
    } cases[] = {
        { "KEEPDAYS=7", "DAILY=1\r\nKEEPDAYS=7\r\n", 64, 7, 7 },
        { "KEEPDAYS=7, KEEPMB=1", "DAILY=1\r\nKEEPDAYS=7\r\nKEEPMB=1\r\n", 12000, 2, 7 },
    };
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.pszWhat);
        RemoveTree(LogRoot());
        Configure(c.pszIni);
        const time_t tStart = (time(NULL) / 86400 + 2) * 86400;
        SetNow(tStart);
        LogPtr log = NewLog();
        ASSERT_TRUE(log->Open("Svc"));
        std::vector<unsigned char> data(c.nDumpBytes, 0x5A);
        std::map<std::string, std::vector<std::string> > byDay;  // entries written, by day folder
        for (int nHour = 0; nHour < 30 * 24; nHour += 3) {
            const time_t tNow = tStart + nHour * 3600 + 60;
            SetNow(tNow);
            std::string strText = "hour " + std::to_string(nHour);
            log->WriteLog("%s", strText.c_str());
            log->WriteHex(&data[0], (unsigned int)data.size(), FALSE, TRUE);
            char szDay[20];
            struct tm tmNow;
            QwLocalTime(&tNow, &tmNow);
            strftime(szDay, sizeof(szDay), "%Y-%m-%d", &tmNow);
            byDay[szDay].push_back(strText);
        }
        const std::string strToday = byDay.rbegin()->first;
        std::vector<std::string> days = ListDir(LogRoot());
        EXPECT_GE(days.size(), c.nMinDays);
        EXPECT_LE(days.size(), c.nMaxDays);
        ASSERT_FALSE(days.empty());
        EXPECT_EQ(strToday, days.back());
        // Each day kept holds every entry of that day, in order, and nothing else.
        for (size_t d = 0; d < days.size(); ++d) {
            std::vector<std::string> files, entries, texts;
            for (const std::string& f : LogFiles())
                if (f.compare(0, 10, days[d]) == 0)
                    files.push_back(f);
            entries = AllEntries(files);
            for (const std::string& e : entries)
                if (e.compare(0, 5, "hour ") == 0)
                    texts.push_back(e);
            EXPECT_EQ(byDay[days[d]], texts) << days[d];
        }
    }
}

TEST_F(RollOverTest, ThreadsWritingAcrossMidnightLoseSplitAndDoubleNothing)
{
    const time_t tBefore = Utc(2024, 5, 1, 23, 59, 59), tAfter = Utc(2024, 5, 2, 0, 0, 0);
    struct Case
    {
        const char* pszWhat;
        std::vector<time_t> clock;  // the readings the clock takes in turn while the threads write
    } cases[] = {
        { "midnight once", { tBefore, tAfter } },
        { "the clock going back and forth over midnight", { tBefore, tAfter, tBefore, tAfter + 1, tBefore - 1, tAfter + 2 } },
    };
    const unsigned int THREADS = 4, PER_THREAD = 400;
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.pszWhat);
        RemoveTree(LogRoot());
        Configure("DAILY=1\r\n");
        SetNow(c.clock[0]);
        LogPtr log = NewLog();
        ASSERT_TRUE(log->Open("Mt"));
        // Each reading of the clock holds while an equal share of the entries is
        // written: a writer whose ticket belongs to the next share waits for it.
        const unsigned int nTotal = THREADS * PER_THREAD, nShares = (unsigned int)c.clock.size();
        std::atomic<unsigned int> nTicket(0), nDone(0), nShare(0);
        std::vector<std::thread> threads;
        for (unsigned int t = 0; t < THREADS; ++t)
            threads.emplace_back([&, t]() {
                for (unsigned int n = 0; n < PER_THREAD; ++n) {
                    unsigned int nMine = nTicket++;
                    while (nShare.load() < nMine * nShares / nTotal)
                        std::this_thread::yield();
                    log->WriteLog("t%u n%u", t, n);
                    ++nDone;
                }
            });
        for (unsigned int k = 1; k < nShares; ++k) {
            while (nDone.load() < (k * nTotal + nShares - 1) / nShares)
                std::this_thread::yield();
            SetNow(c.clock[k]);
            nShare = k;
        }
        for (std::thread& th : threads)
            th.join();
        log.reset();
        std::vector<std::string> files = LogFiles();
        EXPECT_GE(files.size(), 2u);
        std::vector<std::string> entries = AllEntries(files);
        EXPECT_EQ((size_t)THREADS * PER_THREAD, entries.size());
        std::sort(entries.begin(), entries.end());
        EXPECT_TRUE(std::adjacent_find(entries.begin(), entries.end()) == entries.end()) << "an entry twice";
        std::vector<std::string> want;
        for (unsigned int t = 0; t < THREADS; ++t)
            for (unsigned int n = 0; n < PER_THREAD; ++n)
                want.push_back("t" + std::to_string(t) + " n" + std::to_string(n));
        std::sort(want.begin(), want.end());
        EXPECT_TRUE(want == entries) << "entries lost";
    }
}

TEST_F(RollOverTest, ANamePlantedAtTheNextFileIsNotFollowed)
{
    if (SEP != "/")
        GTEST_SKIP() << "FIFOs and symbolic links are made here with POSIX calls";
    const std::string strOutside = m_strTemp + SEP + "outside";
    struct Case
    {
        const char* pszWhat;
        std::string strCommand;  // plants the name; %s is its path
        bool bTargetMadeBefore;
    } cases[] = {
        { "a FIFO", "mkfifo '%s'", false },
        { "a link to a file outside", "ln -s '" + strOutside + "' '%s'", true },
        { "a link to nothing outside", "ln -s '" + strOutside + "' '%s'", false },
        { "a folder", "mkdir '%s'", false },
    };
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.pszWhat);
        RemoveTree(LogRoot());
        RemoveOne(strOutside);
        if (c.bTargetMadeBefore)
            WriteWhole(strOutside, "theirs");
        Configure("DAILY=1\r\n");
        SetNow(Utc(2024, 5, 1, 23, 59, 58));
        LogPtr log = NewLog();
        ASSERT_TRUE(log->Open("P"));
        ASSERT_TRUE(MakeDir(Day("2024-05-02")));
        const std::string strPlanted = Day("2024-05-02") + SEP + "000000_P.log";
        char szCommand[1024];
        snprintf(szCommand, sizeof(szCommand), c.strCommand.c_str(), strPlanted.c_str());
        ASSERT_EQ(0, system(szCommand));
        SetNow(Utc(2024, 5, 2, 0, 0, 0));
        for (int n = 0; n < 100; ++n)  // more than a pipe holds: a FIFO taken for the file blocks here
            log->WriteLog("%d %s", n, std::string(1000, 'f').c_str());
        SetNow(Utc(2024, 5, 2, 0, 0, 1));
        log->WriteLog("next second");
        log.reset();
        EXPECT_EQ(c.bTargetMadeBefore ? "theirs" : "<missing>", ReadWhole(strOutside));
        std::vector<std::string> want = { "2024-05-01/235958_P.log", "2024-05-02/000000_P.log", "2024-05-02/000001_P.log" };
        EXPECT_EQ(want, LogFiles());
        // The second of the planted name stays in the file being written; the next one moves.
        std::string strFirst = ReadLogFile(want[0]);
        EXPECT_EQ(BANNER, strFirst.substr(0, strlen(BANNER)));
        EXPECT_NE(std::string::npos, strFirst.find("2024-05-02 00:00:00  99 f"));
        EXPECT_EQ(BANNER + Entry("2024-05-02 00:00:01", "next second"), ReadLogFile(want[2]));
        RemoveTree(strPlanted);
    }
}

TEST_F(RollOverTest, OpenAndCloseRacingWritersThatMoveSplitAndDoubleNothing)
{
    // Two objects on one name (they share their files), writers on both, a thread
    // closing and opening one of them, and the clock going over midnight and back.
    Configure("DAILY=1\r\nMAXFILEMB=1\r\n");
    const time_t tBefore = Utc(2024, 5, 1, 23, 59, 58);
    SetNow(tBefore);
    LogPtr logs[2] = { NewLog(), NewLog() };
    ASSERT_TRUE(logs[0]->Open("Race"));
    ASSERT_TRUE(logs[1]->Open("Race"));
    std::atomic<bool> bStop(false);
    std::vector<std::thread> threads;
    const unsigned int PER_THREAD = 1500;
    const std::string strPad(700, 'r');
    for (unsigned int t = 0; t < 4; ++t)
        threads.emplace_back([&, t]() {
            for (unsigned int n = 0; n < PER_THREAD; ++n) {
                if (t == 0 && n % 100 == 0)
                    SetNow(tBefore + (time_t)(n / 100 % 7));  // 23:59:58 to 00:00:04 and back, twice
                logs[t % 2]->WriteLog("t%u n%u %s", t, n, strPad.c_str());
            }
        });
    std::thread opener([&]() {
        while (!bStop.load()) {
            logs[1]->Close();
            logs[1]->Open("Race");
        }
    });
    for (std::thread& th : threads)
        th.join();
    bStop = true;
    opener.join();
    logs[0].reset();
    logs[1].reset();
    std::vector<std::string> files = LogFiles();
    EXPECT_GE(files.size(), 2u);
    std::vector<std::string> entries = AllEntries(files);
    // Object 0 never closes: all its entries are there. Object 1 drops what came while it was closed.
    size_t nFirst = 0;
    for (size_t i = 0; i < entries.size(); ++i) {
        unsigned int t = 9, n = 0;
        ASSERT_EQ(2, sscanf(entries[i].c_str(), "t%u n%u", &t, &n)) << entries[i];
        EXPECT_EQ("t" + std::to_string(t) + " n" + std::to_string(n) + " " + strPad, entries[i]);
        nFirst += t % 2 == 0 ? 1 : 0;
    }
    EXPECT_EQ(2u * PER_THREAD, nFirst);
    std::sort(entries.begin(), entries.end());
    EXPECT_TRUE(std::adjacent_find(entries.begin(), entries.end()) == entries.end()) << "an entry twice";
}

TEST_F(RollOverTest, KeepMbNeverRemovesAFileAnotherObjectHoldsOpen)
{
    // Two objects open one name in one second: one fills the file and moves on
    // while the other still holds it. KEEPMB is over its limit, yet the file stays.
    Configure("MAXFILEMB=1\r\nKEEPMB=1\r\n");
    time_t tNow = (time(NULL) / 86400 + 2) * 86400 + 3600;
    SetNow(tNow);
    LogPtr mover = NewLog(), holder = NewLog();
    ASSERT_TRUE(mover->Open("Held"));
    ASSERT_TRUE(holder->Open("Held"));
    const std::string strHeld = LogFiles().at(0);
    for (int n = 0; n < 1200; ++n)
        mover->WriteLog("%d %s", n, std::string(900, 'm').c_str());
    SetNow(++tNow);
    mover->WriteLog("moved");
    ASSERT_EQ(2u, LogFiles().size()) << strHeld << " removed while held";
    EXPECT_EQ(1200u, AllEntries(std::vector<std::string>(1, strHeld)).size());
    // The holder finds the file full too and follows; then nothing holds it.
    holder->WriteLog("followed");
    holder.reset();
    mover.reset();
    std::vector<std::string> last = AllEntries(std::vector<std::string>(1, LogFiles().back()));
    EXPECT_EQ((std::vector<std::string>{ "moved", "followed" }), last);
}
