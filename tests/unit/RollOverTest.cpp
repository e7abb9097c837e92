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
#include <filesystem>
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
        { "MAXFILEMB=1, one second throughout: later files of the second take sequences", "MAXFILEMB=1\r\n", 1u << 30,
          4, 4, (1u << 20) + 1100 },
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

TEST_F(RollOverTest, ADumpLargerThanTheLimitGoesWholeIntoAFileOfItsOwn)
{
    // "e" an entry, "D" a dump of more than 1 MiB of text, "+" the clock a second on.
    struct Case
    {
        const char* pszWhat;
        const char* pszSteps;
        std::vector<std::string> files;  // each as its records: "e", "D"
    } cases[] = {
        { "into a new file: it stays", "De", { "D", "e" } },
        { "after entries of the same second: a file of its own", "eeDe", { "ee", "D", "e" } },
        { "after entries, a second later", "ee+De", { "ee", "D", "e" } },
        { "two in a row", "eDDe", { "e", "D", "D", "e" } },
    };
    const std::vector<unsigned char> data(512u << 10, 0xA5);  // about 2.4 MiB of text
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszWhat);
        RemoveTree(LogRoot());
        Configure("MAXFILEMB=1\r\n");
        time_t tNow = Utc(2024, 5, 1, 9, 3, 7);
        SetNow(tNow);
        LogPtr log = NewLog();
        ASSERT_TRUE(log->Open("Dump"));
        for (const char* p = c.pszSteps; *p != '\0'; ++p) {
            if (*p == '+')
                SetNow(++tNow);
            else if (*p == 'D')
                log->WriteHex(&data[0], (unsigned int)data.size(), TRUE, TRUE);
            else
                log->WriteLog("e");
        }
        log.reset();
        std::vector<std::string> files = LogFiles();
        ASSERT_EQ(c.files.size(), files.size());
        for (size_t i = 0; i < files.size(); ++i) {
            const SplitFile split = SplitLog(ReadLogFile(files[i]));
            std::string strKinds;
            for (const std::string& strRecord : split.entries)
                strKinds += strRecord.size() > (1u << 20) ? "D" : "e";
            EXPECT_TRUE(split.bBanner && split.strTail.empty()) << files[i];
            EXPECT_EQ(c.files[i], strKinds) << files[i];
        }
    }
}

TEST_F(RollOverTest, FourThreadsWritingTenMiBInOneSecondKeepEveryFileWithinTheCap)
{
    // 4 threads, 2.5 MiB each, entries of 300 to 1,500 bytes, and a dump now
    // and then; the clock stands still, so every file after the first is a
    // later file of the same second.
    Configure("MAXFILEMB=1\r\n");
    LogPtr log = NewLog();
    ASSERT_TRUE(log->Open("Busy"));
    const unsigned int THREADS = 4;
    const size_t PER_THREAD = (size_t)5 << 19;
    std::vector<std::thread> threads;
    std::vector<unsigned int> counts(THREADS, 0);
    for (unsigned int t = 0; t < THREADS; ++t)
        threads.emplace_back([&log, &counts, t, PER_THREAD]() {
            const std::string strPad(1500, (char)('a' + t));
            const unsigned char aData[200] = { 0 };
            size_t nWritten = 0;
            for (unsigned int n = 0; nWritten < PER_THREAD; ++n) {
                size_t nPad = 300 + (n * 7919u + t * 104729u) % 1200;
                log->WriteLog("t%u n%u %.*s", t, n, (int)nPad, strPad.c_str());
                nWritten += nPad + 40;
                if (n % 97 == 0)
                    log->WriteHex(aData, sizeof(aData), TRUE, TRUE);
                counts[t] = n + 1;
            }
        });
    for (std::thread& th : threads)
        th.join();
    log.reset();
    std::vector<std::string> files = LogFiles();
    EXPECT_GE(files.size(), 10u);
    std::vector<unsigned int> next(THREADS, 0);
    for (size_t i = 0; i < files.size(); ++i) {
        EXPECT_EQ(0u, files[i].find(i == 0 ? "2024-05-01/090307_Busy.log" : "2024-05-01/090307~")) << files[i];
        const SplitFile split = SplitLog(ReadLogFile(files[i]));
        ASSERT_TRUE(split.bBanner && split.strTail.empty()) << files[i];
        size_t nSize = sizeof(BANNER) - 1, nLast = 0;
        for (const std::string& strRecord : split.entries) {
            nSize += strRecord.size();
            nLast = strRecord.size();
            unsigned int nThread = 0, nNumber = 0;
            if (sscanf(strRecord.c_str() + 19, "  t%u n%u ", &nThread, &nNumber) != 2)
                continue;  // a dump
            ASSERT_LT(nThread, THREADS) << files[i];
            ASSERT_EQ(next[nThread], nNumber) << "thread " << nThread << " in " << files[i] << ": lost, doubled or out of order";
            ++next[nThread];
        }
        EXPECT_LT(nSize - nLast, 1u << 20) << files[i] << " was full before its last entry";
    }
    EXPECT_EQ(counts, next) << "entries lost at the end";
}

TEST_F(RollOverTest, LaterFilesOfOneSecondSortAfterTheFirstForEveryKindOfName)
{
    // Three files in one second and a fourth in the next, for each shape of name.
    struct Case
    {
        const char* pszName;
        std::vector<std::string> files;
    } cases[] = {
        { "Svc", { "090307_Svc.log", "090307~0001_Svc.log", "090307~0002_Svc.log", "090308_Svc.log" } },
        { NULL, { "090307.log", "090307~0001.log", "090307~0002.log", "090308.log" } },
        { "trace.txt", { "090307_trace.txt", "090307~0001_trace.txt", "090307~0002_trace.txt", "090308_trace.txt" } },
    };
    const std::string strPad(1000, 'n');
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszName != NULL ? c.pszName : "(no name)");
        RemoveTree(LogRoot());
        Configure("MAXFILEMB=1\r\n");
        SetNow(Utc(2024, 5, 1, 9, 3, 7));
        LogPtr log = NewLog();
        ASSERT_TRUE(log->Open(c.pszName));
        std::vector<std::string> written;
        const std::string strThird = LogRoot() + SEP + "2024-05-01" + SEP + c.files[2];
        for (unsigned int n = 0; n < 4000; ++n) {  // until the third file is full
            written.push_back(std::to_string(n) + " " + strPad);
            log->WriteLog("%s", written.back().c_str());
            std::error_code ec;
            if (std::filesystem::file_size(strThird, ec) >= (1u << 20) && !ec)
                break;
        }
        SetNow(Utc(2024, 5, 1, 9, 3, 8));
        written.push_back("next second");
        log->WriteLog("%s", written.back().c_str());
        log.reset();
        std::vector<std::string> want;
        for (const std::string& strName : c.files) {
            want.push_back("2024-05-01/" + strName);
            EXPECT_TRUE(QwIsLibraryFileName(strName.c_str())) << strName << " is not cleaned as the library's";
        }
        EXPECT_EQ(want, LogFiles());
        std::vector<std::string> sorted = want;
        std::sort(sorted.begin(), sorted.end());
        EXPECT_EQ(want, sorted) << "byte order is the order of writing";
        EXPECT_TRUE(AllEntries(want) == written) << "entries lost, doubled or out of order";
    }
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

TEST_F(RollOverTest, KeepMbTakesClosedFilesOldestFirstWhateverClosedThemAndNeverAnOpenOne)
{
    // One log folder: yesterday's and this morning's files of an earlier process,
    // a file a run closed with Close, a file another object holds open, and a
    // run that rolls over three times in one second under KEEPMB=3.
    Configure("MAXFILEMB=1\r\nKEEPMB=3\r\n");
    const std::string strMiB((size_t)1 << 20, 'p');
    std::error_code ec;
    std::filesystem::create_directories(LogRoot() + SEP + "2024-04-30", ec);
    std::filesystem::create_directories(Day(), ec);
    ASSERT_FALSE(ec) << ec.message();
    WriteWhole(LogRoot() + SEP + "2024-04-30" + SEP + "230000_Svc.log", BANNER + strMiB);
    WriteWhole(Day() + SEP + "080000_Svc.log", BANNER + strMiB);
    WriteWhole(Day() + SEP + "notes.txt", "not the library's");
    const std::string strHalf(900, 'h');
    SetNow(Utc(2024, 5, 1, 8, 30, 0));
    LogPtr closed = NewLog();
    ASSERT_TRUE(closed->Open("Svc"));
    for (int n = 0; n < 580; ++n)  // about half a MiB
        closed->WriteLog("%d %s", n, strHalf.c_str());
    closed->Close();
    SetNow(Utc(2024, 5, 1, 8, 40, 0));
    LogPtr held = NewLog();
    ASSERT_TRUE(held->Open("Held"));
    for (int n = 0; n < 580; ++n)
        held->WriteLog("%d %s", n, strHalf.c_str());
    SetNow(Utc(2024, 5, 1, 9, 0, 0));
    LogPtr run = NewLog();
    ASSERT_TRUE(run->Open("Svc"));
    for (int n = 0; n < 4000; ++n)  // about 3.5 MiB: four files
        run->WriteLog("%d %s", n, strHalf.c_str());
    // At each move the oldest closed files went until the total fit: the
    // earlier process's (its day folder with them), then Close's, then the
    // run's first; the held file, older than the run's, stays.
    EXPECT_EQ((std::vector<std::string>{ "2024-05-01/084000_Held.log", "2024-05-01/090000~0001_Svc.log",
                                         "2024-05-01/090000~0002_Svc.log", "2024-05-01/090000~0003_Svc.log",
                                         "2024-05-01/notes.txt" }),
              LogFiles());
    EXPECT_TRUE(Reports().empty());
    // Both still write where they were.
    held->WriteLog("held on");
    run->WriteLog("run on");
    EXPECT_EQ("held on", AllEntries(std::vector<std::string>(1, "2024-05-01/084000_Held.log")).back());
    EXPECT_EQ("run on", AllEntries(std::vector<std::string>(1, "2024-05-01/090000~0003_Svc.log")).back());
}

TEST_F(RollOverTest, KeepMbSaysSoWhenOnlyOpenFilesAreLeftOverTheCap)
{
    // Another object holds 1.5 MiB open; the run's closed files go, and the
    // trace says once that what is left is open.
    Configure("MAXFILEMB=2\r\nKEEPMB=1\r\n");
    const std::string strPad(900, 'o');
    LogPtr held = NewLog();
    ASSERT_TRUE(held->Open("Held"));
    for (int n = 0; n < 1700; ++n)
        held->WriteLog("%d %s", n, strPad.c_str());
    LogPtr run = NewLog();
    ASSERT_TRUE(run->Open("Run"));
    for (int n = 0; n < 5000; ++n)  // two moves
        run->WriteLog("%d %s", n, strPad.c_str());
    EXPECT_EQ((std::vector<std::string>{ "2024-05-01/090307_Held.log", "2024-05-01/090307~0002_Run.log" }), LogFiles());
    std::vector<std::string> reports = Reports();
    ASSERT_EQ(1u, reports.size());
    EXPECT_NE(std::string::npos, reports[0].find("KEEPMB=1")) << reports[0];
    EXPECT_NE(std::string::npos, reports[0].find("open")) << reports[0];
}
