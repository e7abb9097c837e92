// One object written from many threads: every entry lands whole and once, in
// the order its stamp was taken; Close, Open and ShowConsole on other threads
// never cut, lose, repeat or misdirect an entry.
#include "Support.h"
#include "TxtLog.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <regex>
#include <set>
#include <thread>

using namespace qwtest;

namespace {

// A clock that moves on one second at every reading: every entry of an object
// gets a stamp of its own, so the stamps show the order the clock was read in.
std::atomic<time_t> s_tTick(0);
time_t TickingClock(void) { return s_tTick.fetch_add(1); }

// What one call of a writer thread writes.
enum QW_CALL_KIND { CALL_ENTRY, CALL_DUMP16, CALL_DUMP4K };

QW_CALL_KIND KindOf(int n, bool bMixed)
{
    if (!bMixed)
        return CALL_ENTRY;
    return n % 3 == 0 ? CALL_ENTRY : (n % 3 == 1 ? CALL_DUMP16 : CALL_DUMP4K);
}

// The bytes thread t dumps in its call n: "t<t> n<n>" (always 12 characters),
// then a pattern of both.
std::string DumpData(int t, int n, size_t nSize)
{
    char sz[16];
    snprintf(sz, sizeof(sz), "t%02d n%07d", t, n);
    std::string str(sz, 12);
    for (size_t i = str.size(); i < nSize; ++i)
        str += (char)(i * 7 + (size_t)t * 13 + (size_t)n);
    return str;
}

void Call(ILogObject* pLog, int t, int n, bool bMixed)
{
    QW_CALL_KIND nKind = KindOf(n, bMixed);
    if (nKind == CALL_ENTRY) {
        pLog->WriteLog("t%02d n%07d", t, n);
        return;
    }
    std::string strData = DumpData(t, n, nKind == CALL_DUMP16 ? 16 : 4096);
    pLog->WriteHex((const unsigned char*)strData.data(), (unsigned int)strData.size(), TRUE, TRUE);
}

// One entry read back.
struct QW_READ
{
    std::string strStamp;
    int nThread;
    int nNumber;
};

// nCalls divided by QW_THREAD_CALLS_DIV when it is set (the sanitizer builds
// runs take a tenth), never below 10.
int Scaled(int nCalls)
{
    const char* psz = getenv("QW_THREAD_CALLS_DIV");
    int nDiv = psz != NULL ? atoi(psz) : 1;
    return nDiv > 1 && nCalls / nDiv >= 10 ? nCalls / nDiv : nCalls;
}

// Whether a thread's calls are mixed (KindOf), by its number.
typedef std::function<bool(int)> QW_MIXED_OF;

// Reads one entry (its text without the closing "\r\n\r\n"): TRUE when it is
// exactly what Call wrote for the thread and number it names.
bool ReadEntry(const std::string& strEntry, const QW_MIXED_OF& fnMixed, QW_READ& read)
{
    static const std::regex message("(\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d)  t(\\d\\d) n(\\d{7})");
    std::smatch m;
    if (std::regex_match(strEntry, m, message)) {
        read.strStamp = m[1].str();
        read.nThread = std::stoi(m[2].str());
        read.nNumber = std::stoi(m[3].str());
        return KindOf(read.nNumber, fnMixed(read.nThread)) == CALL_ENTRY;
    }
    // A dump: the first 12 bytes (the first line's first values) name the call.
    if (strEntry.size() < 35 + 36)
        return false;
    std::string strName;
    for (size_t i = 0; i < 12; ++i)
        strName += (char)strtol(strEntry.substr(35 + 3 * i, 2).c_str(), NULL, 16);
    if (sscanf(strName.c_str(), "t%d n%d", &read.nThread, &read.nNumber) != 2)
        return false;
    read.strStamp = strEntry.substr(0, 19);
    QW_CALL_KIND nKind = KindOf(read.nNumber, fnMixed(read.nThread));
    if (nKind == CALL_ENTRY)
        return false;
    std::string strData = DumpData(read.nThread, read.nNumber, nKind == CALL_DUMP16 ? 16 : 4096);
    return strEntry + "\r\n\r\n" == DumpEntry(read.strStamp, (const unsigned char*)strData.data(), strData.size(), true, true);
}

// The entries of a log file in file order, banners skipped; fails the test at
// the first piece that is not a whole entry.
std::vector<QW_READ> ReadFileEntries(const std::string& strFile, const QW_MIXED_OF& fnMixed)
{
    std::vector<QW_READ> entries;
    const SplitFile split = SplitLog(strFile);
    for (const std::string& strEntry : split.entries) {
        QW_READ read;
        if (strEntry == BANNER)
            continue;
        if (!ReadEntry(strEntry.substr(0, strEntry.size() - 4), fnMixed, read)) {
            ADD_FAILURE() << "broken entry: " << strEntry.substr(0, 120);
            return entries;
        }
        entries.push_back(read);
    }
    if (!split.strTail.empty())
        ADD_FAILURE() << "broken entry at the end: " << split.strTail.substr(0, 120);
    return entries;
}

// The same, every thread's calls mixed (bMixed) or entries only.
std::vector<QW_READ> ReadFileEntries(const std::string& strFile, bool bMixed)
{
    return ReadFileEntries(strFile, [bMixed](int) { return bMixed; });
}

// Runs nThreads threads making nCalls calls each on pLog, all starting together;
// they write as threads nFirst, nFirst + 1 and so on.
// Threads nFirst on call Call nCallsAsked times each (scaled); pfnAfter, when
// given, runs on the writer's thread after each call returns.
void RunWriters(ILogObject* pLog, int nThreads, int nCallsAsked, bool bMixed, int nFirst = 0,
                void (*pfnAfter)(int t, int n) = NULL)
{
    const int nCalls = Scaled(nCallsAsked);
    std::atomic<int> nReady(0);
    std::vector<std::thread> threads;
    for (int t = nFirst; t < nFirst + nThreads; ++t)
        threads.emplace_back([=, &nReady]() {
            ++nReady;
            while (nReady.load() < nThreads)
                std::this_thread::yield();
            for (int n = 0; n < nCalls; ++n) {
                Call(pLog, t, n, bMixed);
                if (pfnAfter != NULL)
                    pfnAfter(t, n);
            }
        });
    for (std::thread& th : threads)
        th.join();
}

class ThreadTest : public QwTest
{
protected:
    // The one log file whose name ends in pszName.
    std::string FileNamed(const char* pszName)
    {
        std::string strSuffix = std::string("_") + pszName + ".log";
        for (const std::string& strFile : LogFiles())
            if (strFile.size() > strSuffix.size() && strFile.compare(strFile.size() - strSuffix.size(), std::string::npos, strSuffix) == 0)
                return ReadLogFile(strFile);
        return "";
    }
};

// Entries of one object reach its file in the order their stamps were taken:
// with a clock that moves on at every reading, every stamp differs, and the
// stamps rise strictly in file order; every call is there once and whole.
struct QW_ORDER_CASE
{
    const char* pszName;
    int nThreads;
    int nCalls;
    bool bMixed;    // entries and dumps of 16 B and 4 KiB in turn, else entries only
    bool bConsole;  // the mirror on: the console must show the file's entries, in its order
};

const QW_ORDER_CASE ORDER_CASES[] = {
    { "entries4", 4, 50000, false, false },
    { "entries8", 8, 5000, false, false },
    { "mixed4", 4, 3000, true, false },
    { "console4", 4, 2000, false, true },
    { "mixedconsole2", 2, 1000, true, true },
};

} // namespace

TEST_F(ThreadTest, EntriesArriveWholeOnceAndInTheOrderOfTheirStamps)
{
    s_tTick = Utc(2024, 5, 1, 9, 3, 7);
    QwSetClock(&TickingClock);
    for (const QW_ORDER_CASE& c : ORDER_CASES) {
        SCOPED_TRACE(c.pszName);
        ConsoleRecorder::Reset();
        LogPtr log = NewLog();
        ASSERT_EQ(TRUE, log->Open(c.pszName));
        if (c.bConsole)
            log->ShowConsole(TRUE);
        RunWriters(log.get(), c.nThreads, c.nCalls, c.bMixed);
        log.reset();

        std::string strFile = FileNamed(c.pszName);
        ASSERT_EQ(0u, strFile.compare(0, strlen(BANNER), BANNER));
        std::vector<QW_READ> entries = ReadFileEntries(strFile, c.bMixed);
        ASSERT_EQ((size_t)c.nThreads * Scaled(c.nCalls), entries.size());
        std::map<int, int> next;
        for (size_t i = 0; i < entries.size(); ++i) {
            ASSERT_TRUE(i == 0 || entries[i - 1].strStamp < entries[i].strStamp) << "entry " << i;
            ASSERT_EQ(next[entries[i].nThread]++, entries[i].nNumber) << "entry " << i;
        }
        ASSERT_EQ((size_t)c.nThreads, next.size());
        if (c.bConsole)
            EXPECT_TRUE(ConsoleRecorder::Written() == strFile.substr(strlen(BANNER)))
                << "the console did not show the file's entries in the file's order";
    }
}

// Threads that come and go: one thread alone long enough to write past the
// queue, then several through it, then one alone again until it writes past
// the queue once more, and so on. At every change of way the file keeps every
// entry once, whole, each thread's in its order and the stamps rising.
TEST_F(ThreadTest, EntriesKeepTheirOrderAsThreadsComeAndGo)
{
    struct QW_PHASE { int nThreads; int nCalls; bool bMixed; };
    const QW_PHASE PHASES[] = {
        { 1, 5000, false }, { 4, 3000, false }, { 1, 6000, false }, { 2, 2000, true },
        { 1, 5000, true },  { 3, 1000, false }, { 1, 100, false },
    };
    s_tTick = Utc(2024, 5, 1, 9, 3, 7);
    QwSetClock(&TickingClock);
    LogPtr log = NewLog();
    ASSERT_EQ(TRUE, log->Open("comeandgo"));
    int nFirst = 0;
    size_t nCalls = 0;
    for (const QW_PHASE& phase : PHASES) {
        RunWriters(log.get(), phase.nThreads, phase.nCalls, phase.bMixed, nFirst);
        nFirst += phase.nThreads;
        nCalls += (size_t)phase.nThreads * Scaled(phase.nCalls);
    }
    log.reset();

    // Mixed phases number their calls as mixed ones; the reader is told per thread.
    std::vector<QW_READ> entries = ReadFileEntries(FileNamed("comeandgo"), [&](int nThread) {
        int nFrom = 0;
        for (const QW_PHASE& phase : PHASES) {
            if (nThread < nFrom + phase.nThreads)
                return phase.bMixed;
            nFrom += phase.nThreads;
        }
        return false;
    });
    ASSERT_EQ(nCalls, entries.size());
    std::map<int, int> next;
    for (size_t i = 0; i < entries.size(); ++i) {
        ASSERT_TRUE(i == 0 || entries[i - 1].strStamp < entries[i].strStamp) << "entry " << i;
        ASSERT_EQ(next[entries[i].nThread]++, entries[i].nNumber) << "entry " << i;
    }
    EXPECT_EQ((size_t)nFirst, next.size());
}

// Close and Open on one thread, ShowConsole on another, while three threads
// write entries and dumps and a fifth opens and closes a file of its own: no
// entry is ever cut, repeated or out of its thread's order, and none lands in
// the other file (as it would if a write went to a descriptor closed under it
// and given out again).
TEST_F(ThreadTest, OpenCloseAndConsoleStormsLeaveOnlyWholeEntriesInTheirFiles)
{
    const int WRITERS = 3, CALLS = 2000, TOGGLES = 300;
    struct QW_STORM_CASE { const char* pszName; bool bCloseOpen; bool bConsole; };
    const QW_STORM_CASE STORM_CASES[] = {
        { "close and open", true, false },
        { "console on and off", false, true },
        { "both", true, true },
    };
    std::string strDecoy = m_strTemp + SEP + "decoy.txt";
    for (const QW_STORM_CASE& c : STORM_CASES) {
        SCOPED_TRACE(c.pszName);
        RemoveTree(LogRoot());
        LogPtr log = NewLog();
        ASSERT_EQ(TRUE, log->Open("storm"));
        std::atomic<bool> bDone(false);
        std::thread storm([&]() {
            for (int i = 0; i < TOGGLES && !bDone; ++i) {
                if (c.bCloseOpen) {
                    log->Close();
                    log->Open("storm");
                }
                if (c.bConsole)
                    log->ShowConsole(i % 2 == 0);
                log->WriteSilent("%d", i);  // waits for the entries before it, writes nothing
                std::this_thread::yield();
            }
        });
        std::thread decoy([&]() {
            while (!bDone) {
                FILE* pFile = fopen(strDecoy.c_str(), "ab");
                if (pFile != NULL)
                    fclose(pFile);
            }
        });
        RunWriters(log.get(), WRITERS, CALLS, true);
        bDone = true;
        storm.join();
        decoy.join();
        log.reset();

        EXPECT_EQ("", ReadWhole(strDecoy)) << "entries went to a descriptor the object had closed";
        std::map<int, int> last;
        size_t nEntries = 0;
        for (const std::string& strFile : LogFiles())
            for (const QW_READ& read : ReadFileEntries(ReadLogFile(strFile), true)) {
                ASSERT_TRUE(read.nThread >= 0 && read.nThread < WRITERS);
                std::map<int, int>::iterator it = last.find(read.nThread);
                ASSERT_TRUE(it == last.end() || it->second < read.nNumber)
                    << "thread " << read.nThread << " call " << read.nNumber << " repeated or out of order";
                last[read.nThread] = read.nNumber;
                ++nEntries;
            }
        EXPECT_LE(nEntries, (size_t)WRITERS * Scaled(CALLS));
        if (!c.bCloseOpen)
            EXPECT_EQ((size_t)WRITERS * Scaled(CALLS), nEntries) << "the console switched on and off lost entries";
    }
}

TEST_F(ThreadTest, CloseWhileOthersWriteLeavesOnlyWholeEntries)
{
    const int THREADS = 8, ENTRIES = 10000;
    QwSetClock(NULL);
    LogPtr log = NewLog();
    ASSERT_EQ(TRUE, log->Open("closing"));
    std::atomic<int> nWritten(0);
    std::vector<std::thread> threads;
    for (int t = 0; t < THREADS - 1; ++t)
        threads.emplace_back([&log, &nWritten, t]() {
            for (int i = 0; i < ENTRIES; ++i) {
                log->WriteLog("t%02d n%07d", t, i);
                ++nWritten;
            }
        });
    threads.emplace_back([&log, &nWritten]() {
        while (nWritten.load() < 500)
            std::this_thread::yield();
        log->Close();
    });
    for (std::thread& th : threads)
        th.join();
    std::vector<QW_READ> entries = ReadFileEntries(FileNamed("closing"), false);
    std::map<int, int> next;
    for (const QW_READ& read : entries) {
        ASSERT_LT(read.nThread, THREADS - 1);
        // A thread's entries stop at the close: what is there is 0, 1, 2, ... unbroken.
        ASSERT_EQ(next[read.nThread]++, read.nNumber) << "thread " << read.nThread;
    }
    // Every call that returned before Close began is in the file.
    EXPECT_GE(entries.size(), 500u);
    EXPECT_LT(entries.size(), (size_t)(THREADS - 1) * ENTRIES);
}

namespace {

// The syncs (the file's size at each) and echoes of one object, in the order made.
struct QW_PER_ENTRY_RECORD
{
    static std::mutex s_mtx;
    static std::vector<long long> s_syncs;
    static std::string s_strEchoed;
    static size_t s_nEchoes;

    static std::atomic<long long> s_nSynced;  // the size of the file at the last sync
    static std::vector<std::vector<long long> > s_returns;  // [thread][call]: s_nSynced when the call returned

    static BOOL SyncFile(FILE* pFile)
    {
        std::lock_guard<std::mutex> lock(s_mtx);
        s_syncs.push_back(pFile != NULL ? (long long)QwFileSize(pFile) : -1);
        s_nSynced = s_syncs.back();
        return TRUE;
    }
    static void Returned(int t, int n) { s_returns[(size_t)t][(size_t)n] = s_nSynced.load(); }
    static BOOL SyncFolder(const std::string&) { return TRUE; }
    static void EchoText(FILE*, const char* p, size_t nLen)
    {
        std::lock_guard<std::mutex> lock(s_mtx);
        s_strEchoed.append(p, nLen);
        ++s_nEchoes;
    }
    static const QW_OUTPUT_API* Table()
    {
        static const QW_OUTPUT_API s_table = { &SyncFile, &SyncFolder, &EchoText };
        s_syncs.clear();
        s_nSynced = 0;
        s_strEchoed.clear();
        s_nEchoes = 0;
        return &s_table;
    }
};

std::mutex QW_PER_ENTRY_RECORD::s_mtx;
std::vector<long long> QW_PER_ENTRY_RECORD::s_syncs;
std::string QW_PER_ENTRY_RECORD::s_strEchoed;
size_t QW_PER_ENTRY_RECORD::s_nEchoes;
std::atomic<long long> QW_PER_ENTRY_RECORD::s_nSynced(0);
std::vector<std::vector<long long> > QW_PER_ENTRY_RECORD::s_returns;

} // namespace

// A setting that acts on each entry holds for every entry when four threads
// write at once: SYNC has each entry synced before its call returns (a sync
// that took the file up to its end or further; entries written together share
// one), ECHO gives each entry once in the file's order, MAXFILEMB moves
// to a new file before the entry that finds the file full and loses nothing,
// the console shows the file's entries in its order.
TEST_F(ThreadTest, PerEntrySettingsHoldForEveryEntryFromFourThreads)
{
    struct QW_SETTING_CASE { const char* pszName; const char* pszIni; bool bConsole; int nCalls; };
    const QW_SETTING_CASE cases[] = {
        { "sync", "[LOG]\nSYNC=1\n", false, 300 },
        { "echo", "[LOG]\nECHO=1\n", false, 300 },
        { "maxfilemb", "[LOG]\nMAXFILEMB=1\n", false, 600 },
        { "console", "", true, 300 },
    };
    const int THREADS = 4;
    s_tTick = Utc(2024, 5, 1, 9, 3, 7);
    QwSetClock(&TickingClock);
    for (const QW_SETTING_CASE& c : cases) {
        SCOPED_TRACE(c.pszName);
        RemoveTree(LogRoot());
        WriteWhole(Host() + SEP + "Quillwork.ini", c.pszIni);
        QwSetOutputApi(QW_PER_ENTRY_RECORD::Table());
        ConsoleRecorder::Reset();
        LogPtr log = NewLog();
        ASSERT_EQ(TRUE, log->Open(c.pszName));
        if (c.bConsole)
            log->ShowConsole(TRUE);
        QW_PER_ENTRY_RECORD::s_returns.assign(THREADS, std::vector<long long>((size_t)Scaled(c.nCalls), -1));
        RunWriters(log.get(), THREADS, c.nCalls, true, 0, &QW_PER_ENTRY_RECORD::Returned);
        log.reset();
        QwSetOutputApi(NULL);

        std::vector<std::string> files = LogFiles();  // in name order, which is the order of the moves
        ASSERT_EQ(strcmp(c.pszName, "maxfilemb") == 0, files.size() > 1) << files.size() << " files";
        std::string strAll;  // every file's entries, banners dropped
        std::vector<long long> ends;  // where each entry ends in its file
        std::vector<long long> synced;  // the synced size when each entry's call returned
        std::map<int, int> next;
        std::string strLastStamp;
        for (const std::string& strFile : files) {
            std::string strText = ReadLogFile(strFile);
            if (files.size() > 1)
                EXPECT_LE(strText.size(), (size_t)(1 << 20) + 40000) << "a file past MAXFILEMB by more than one entry";
            size_t nAt = 0;
            for (const std::string& strEntry : SplitLog(strText).entries) {
                nAt = strText.find(strEntry, nAt) + strEntry.size();
                if (strEntry == BANNER)
                    continue;
                ends.push_back((long long)nAt);
                strAll += strEntry;
            }
            for (const QW_READ& read : ReadFileEntries(strText, true)) {
                ASSERT_LT(strLastStamp, read.strStamp);
                strLastStamp = read.strStamp;
                ASSERT_EQ(next[read.nThread]++, read.nNumber);
                synced.push_back(QW_PER_ENTRY_RECORD::s_returns[(size_t)read.nThread][(size_t)read.nNumber]);
            }
        }
        ASSERT_EQ((size_t)THREADS * Scaled(c.nCalls), ends.size()) << "every call once";
        if (strcmp(c.pszName, "sync") == 0) {
            ASSERT_EQ(ends.size(), synced.size());
            for (size_t i = 0; i < ends.size(); ++i)
                ASSERT_GE(synced[i], ends[i]) << "entry " << i << " was not synced when its call returned";
            // Every sync after the banner's follows a write that ended an entry.
            std::set<long long> boundaries(ends.begin(), ends.end());
            for (size_t i = 1; i < QW_PER_ENTRY_RECORD::s_syncs.size(); ++i)
                EXPECT_EQ(1u, boundaries.count(QW_PER_ENTRY_RECORD::s_syncs[i])) << "a sync inside an entry";
        }
        if (strcmp(c.pszName, "echo") == 0) {
            EXPECT_EQ(ends.size(), QW_PER_ENTRY_RECORD::s_nEchoes);
            EXPECT_TRUE(strAll == QW_PER_ENTRY_RECORD::s_strEchoed) << "the echo is not the file's entries in order";
        }
        if (c.bConsole)
            EXPECT_TRUE(strAll == ConsoleRecorder::Written()) << "the console is not the file's entries in order";
    }
    WriteWhole(Host() + SEP + "Quillwork.ini", "");
}

// An object holds no buffer of its entries (they are laid out on the writing
// thread's stack or heap): it stays small, whatever the platform.
TEST(TxtLogSize, AnObjectTakesAtMost16KiB)
{
    EXPECT_LE(sizeof(CTxtLog), 16384u);
}

namespace {

// The file the threads of ReturnsWithItsEntry write, and what they found.
std::string s_strReturnFile;
std::atomic<int> s_nMissing(0);

// After a call returns: its entry ("t.. n.......") must be in the file, whichever
// thread wrote it there.
void FindOwnEntry(int t, int n)
{
    char sz[32];
    snprintf(sz, sizeof(sz), "  t%02d n%07d\r\n", t, n);
    if (ReadWhole(s_strReturnFile).find(sz) == std::string::npos)
        ++s_nMissing;
}

} // namespace

// Entries handed in while another thread writes are written by that thread,
// often together with its own; every call still returns only once its entry
// is in the file.
TEST_F(ThreadTest, EveryCallReturnsWithItsEntryInTheFileWhoeverWroteIt)
{
    s_tTick = Utc(2024, 5, 1, 9, 3, 7);
    QwSetClock(&TickingClock);
    LogPtr log = NewLog();
    ASSERT_EQ(TRUE, log->Open("returns"));
    s_strReturnFile = TheFile();
    s_nMissing = 0;
    RunWriters(log.get(), 4, 300, false, 0, &FindOwnEntry);
    EXPECT_EQ(0, s_nMissing.load()) << "calls that returned before their entry was in the file";
}
