// [LOG] SYNC=1 and ECHO=1: the sync after each entry's write and the folders
// synced when a file is opened, the echo of each entry in the file's order, and
// nothing of either without its key. A recorder stands in for the platform's
// calls; the platform's own sync calls run once on a real file and folder.
#include "Support.h"
#include "LogAppend.h"

#include <string.h>

#include <atomic>
#include <filesystem>
#include <mutex>
#include <thread>

using namespace qwtest;
namespace fs = std::filesystem;

namespace {

// Every call of the output table, in order: "sync <file size at the call>",
// "folder <path>", and the echoed texts on their own.
struct OutputRecorder
{
    static std::mutex s_mtx;
    static std::vector<std::string> s_calls;
    static std::vector<std::string> s_echoes;
    static std::string s_strDay;  // where the one log file is
    static BOOL s_bSyncResult;

    static unsigned long long FileSize()
    {
        std::vector<std::string> files = ListDir(s_strDay);
        std::error_code ec;
        return files.size() == 1 ? (unsigned long long)fs::file_size(fs::path(s_strDay + SEP + files[0]), ec) : 0;
    }
    static BOOL SyncFile(FILE* pFile)
    {
        std::lock_guard<std::mutex> lock(s_mtx);
        s_calls.push_back(pFile != NULL ? "sync " + std::to_string(FileSize()) : "sync NULL");
        return s_bSyncResult;
    }
    static BOOL SyncFolder(const std::string& strFolder)
    {
        std::lock_guard<std::mutex> lock(s_mtx);
        s_calls.push_back("folder " + strFolder);
        return TRUE;
    }
    static void EchoText(FILE*, const char* p, size_t nLen)
    {
        std::lock_guard<std::mutex> lock(s_mtx);
        s_echoes.push_back(std::string(p, nLen));
    }
    static void Reset(const std::string& strDay)
    {
        s_strDay = strDay;
        s_calls.clear();
        s_echoes.clear();
        s_bSyncResult = TRUE;
    }
    static const QW_OUTPUT_API* Table()
    {
        static const QW_OUTPUT_API s_table = { &SyncFile, &SyncFolder, &EchoText };
        return &s_table;
    }
};

std::mutex OutputRecorder::s_mtx;
std::vector<std::string> OutputRecorder::s_calls;
std::vector<std::string> OutputRecorder::s_echoes;
std::string OutputRecorder::s_strDay;
BOOL OutputRecorder::s_bSyncResult = TRUE;

void* NoMemory(size_t) { return NULL; }

std::string Joined(const std::vector<std::string>& parts)
{
    std::string str;
    for (size_t i = 0; i < parts.size(); ++i)
        str += parts[i];
    return str;
}

class SyncEchoTest : public QwTest
{
protected:
    void SetUp()
    {
        QwTest::SetUp();
        OutputRecorder::Reset(Day());
        QwSetOutputApi(OutputRecorder::Table());
    }
    void TearDown()
    {
        QwTest::TearDown();
        QwSetOutputApi(NULL);
    }
    void Configure(const char* pszIni) { WriteWhole(Host() + SEP + "Quillwork.ini", pszIni); }
};

// What a case does after Open; each step is one call of the interface.
enum STEP { ENTRY, SMALL_DUMP, LARGE_DUMP, DUMP_WITHOUT_MEMORY, EMPTY_DUMP };

void Do(ILogObject* pLog, STEP nStep)
{
    static std::vector<unsigned char> s_data(20000, 0x5A);
    switch (nStep) {
    case ENTRY: pLog->WriteLog("value %d\tand text", 42); break;
    case SMALL_DUMP: pLog->WriteHex(&s_data[0], 20, TRUE, TRUE); break;
    case LARGE_DUMP: pLog->WriteHex(&s_data[0], (unsigned int)s_data.size(), FALSE, FALSE); break;
    case DUMP_WITHOUT_MEMORY:
        QwSetAllocator(&NoMemory);  // the dump goes out in several writes
        pLog->WriteHex(&s_data[0], (unsigned int)s_data.size(), TRUE, TRUE);
        QwSetAllocator(NULL);
        break;
    case EMPTY_DUMP: pLog->WriteHex(&s_data[0], 0, TRUE, FALSE); break;
    }
}

} // namespace

TEST_F(SyncEchoTest, SyncFollowsEachBannerEntryAndDumpAndNothingElse)
{
    // Each sync must find the file as the call left it: after its last write,
    // one sync per call, whatever number of writes the call made.
    const STEP steps[] = { ENTRY, SMALL_DUMP, LARGE_DUMP, DUMP_WITHOUT_MEMORY, EMPTY_DUMP, ENTRY };
    struct { const char* pszIni; bool bSync; } cases[] = {
        { "[LOG]\nSYNC=1\n", true },
        { "[log]\n  sync = 1  \n", true },
        { "[LOG]\nSYNC=1\nECHO=1\n", true },
        { "", false },
        { "[LOG]\nSYNC=0\n", false },
        { "[LOG]\nSYNC=2\n", false },  // exactly 1, as CONSOLE OPEN
        { "[CONSOLE]\nSYNC=1\n", false },
    };
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        SCOPED_TRACE(cases[i].pszIni);
        Configure(cases[i].pszIni);
        RemoveTree(LogRoot());
        OutputRecorder::Reset(Day());
        LogPtr log = NewLog();
        ASSERT_EQ(TRUE, log->Open("sync"));
        std::vector<std::string> expected;
        if (cases[i].bSync)
            expected = { "sync " + std::to_string(strlen(BANNER)), "folder " + Day(), "folder " + LogRoot(),
                         "folder " + Host() };
        for (size_t s = 0; s < sizeof(steps) / sizeof(steps[0]); ++s) {
            Do(log.get(), steps[s]);
            if (cases[i].bSync)
                expected.push_back("sync " + std::to_string(OutputRecorder::FileSize()));
        }
        log.reset();
        EXPECT_EQ(expected, OutputRecorder::s_calls);
        EXPECT_TRUE(OutputRecorder::s_echoes.empty() || std::string(cases[i].pszIni).find("ECHO") != std::string::npos);
    }
}

TEST_F(SyncEchoTest, EchoGivesEachEntryOnceWholeInTheFilesOrder)
{
    // Without memory for a large dump, the channel gets its parts as the file
    // does (nEchoes 2: at least two).
    struct { const char* pszIni; STEP nStep; size_t nEchoes; } cases[] = {
        { "[LOG]\nECHO=1\n", ENTRY, 1 },
        { "[LOG]\nECHO=1\n", SMALL_DUMP, 1 },
        { "[LOG]\nECHO=1\n", LARGE_DUMP, 1 },
        { "[LOG]\nECHO=1\n", EMPTY_DUMP, 1 },
        { "[LOG]\nECHO=1\n", DUMP_WITHOUT_MEMORY, 2 },
        { "[LOG]\nECHO=1\nSYNC=1\n", ENTRY, 1 },
        { "[LOG]\nECHO=0\n", ENTRY, 0 },
        { "[LOG]\nSYNC=1\n", SMALL_DUMP, 0 },
        { "", LARGE_DUMP, 0 },
    };
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        SCOPED_TRACE(std::string(cases[i].pszIni) + " step " + std::to_string(cases[i].nStep));
        Configure(cases[i].pszIni);
        RemoveTree(LogRoot());
        OutputRecorder::Reset(Day());
        LogPtr log = NewLog();
        ASSERT_EQ(TRUE, log->Open("echo"));
        EXPECT_TRUE(OutputRecorder::s_echoes.empty()) << "the banner is not echoed";
        Do(log.get(), cases[i].nStep);
        Do(log.get(), ENTRY);
        log.reset();
        const std::string strFile = OnlyFileText(Day());
        ASSERT_EQ(0u, strFile.compare(0, strlen(BANNER), BANNER));
        if (cases[i].nEchoes == 0) {
            EXPECT_TRUE(OutputRecorder::s_echoes.empty());
            continue;
        }
        EXPECT_EQ(strFile.substr(strlen(BANNER)), Joined(OutputRecorder::s_echoes)) << "the file's bytes, in its order";
        if (cases[i].nStep == DUMP_WITHOUT_MEMORY)
            EXPECT_LE(cases[i].nEchoes + 1, OutputRecorder::s_echoes.size());
        else
            EXPECT_EQ(cases[i].nEchoes + 1, OutputRecorder::s_echoes.size());
        EXPECT_EQ(Entry(START_STAMP, "value 42\tand text"), OutputRecorder::s_echoes.back());
    }
}

TEST_F(SyncEchoTest, AFailedSyncKeepsTheEntryAndTheObjectWriting)
{
    // As with a failed write: the call returns TRUE, and bytes that did reach
    // the file are not taken back.
    Configure("[LOG]\nSYNC=1\n");
    OutputRecorder::s_bSyncResult = FALSE;
    LogPtr log = NewLog();
    ASSERT_EQ(TRUE, log->Open("failing"));
    EXPECT_EQ(TRUE, log->WriteLog("first"));
    const unsigned char data[3] = { 1, 2, 3 };
    EXPECT_EQ(TRUE, log->WriteHex(data, 3, TRUE, TRUE));
    EXPECT_EQ(TRUE, log->WriteLog("second"));
    log.reset();
    EXPECT_EQ(BANNER + Entry(START_STAMP, "first") + START_STAMP + " --> 00000000h: 01 02 03 \r\n\r\n"
                  + Entry(START_STAMP, "second"),
              OnlyFileText(Day()));
    EXPECT_EQ(7u, OutputRecorder::s_calls.size()) << "banner, three folders, three entries";
}

TEST_F(SyncEchoTest, ThreadsWithBothKeysEchoEveryEntryOnceInTheFilesOrder)
{
    Configure("[LOG]\nSYNC=1\nECHO=1\n");
    LogPtr log = NewLog();
    ASSERT_EQ(TRUE, log->Open("threads"));
    const int THREADS = 4, EACH = 300;
    std::vector<std::thread> threads;
    for (int t = 0; t < THREADS; ++t)
        threads.emplace_back([&log, t]() {
            const unsigned char data[40] = { (unsigned char)t };
            for (int i = 0; i < EACH; ++i) {
                log->WriteLog("t%d n%d", t, i);
                if (i % 10 == 0)
                    log->WriteHex(data, sizeof(data), (i & 1) != 0, TRUE);
            }
        });
    for (size_t t = 0; t < threads.size(); ++t)
        threads[t].join();
    log.reset();
    const std::string strFile = OnlyFileText(Day());
    const size_t nEntries = THREADS * EACH + THREADS * (EACH / 10);
    EXPECT_EQ(strFile.substr(strlen(BANNER)), Joined(OutputRecorder::s_echoes));
    ASSERT_EQ(nEntries, OutputRecorder::s_echoes.size());
    for (size_t i = 0; i < OutputRecorder::s_echoes.size(); ++i) {
        const std::string& strEcho = OutputRecorder::s_echoes[i];
        ASSERT_EQ(strEcho.size() - 4, strEcho.find("\r\n\r\n")) << "one whole entry per echo: " << strEcho;
    }
    // The banner's sync, the folders', then at most one per entry (entries
    // written together share one) and one after the last.
    EXPECT_LE(OutputRecorder::s_calls.size(), 1 + 3 + nEntries);
    EXPECT_GT(OutputRecorder::s_calls.size(), 1 + 3u);
    EXPECT_EQ("sync " + std::to_string(strFile.size()), OutputRecorder::s_calls.back());
}

TEST_F(SyncEchoTest, OpenAndCloseRacingWritersKeepEchoAndSyncWithTheFile)
{
    // One thread closes and reopens the same file while three write: every echo
    // is an entry the file holds, in its order, and no sync finds a closed file.
    Configure("[LOG]\nSYNC=1\nECHO=1\n");
    LogPtr log = NewLog();
    ASSERT_EQ(TRUE, log->Open("race"));
    std::atomic<bool> bDone(false);
    std::vector<std::thread> writers;
    for (int t = 0; t < 3; ++t)
        writers.emplace_back([&log, &bDone, t]() {
            const unsigned char data[20] = { (unsigned char)t };
            for (int i = 0; !bDone; ++i) {
                log->WriteLog("t%d n%d", t, i);
                log->WriteHex(data, sizeof(data), TRUE, TRUE);
            }
        });
    for (int i = 0; i < 200; ++i) {
        log->Close();
        log->Open("race");
    }
    bDone = true;
    for (size_t t = 0; t < writers.size(); ++t)
        writers[t].join();
    log.reset();
    std::string strEntries = OnlyFileText(Day());
    for (size_t nAt = strEntries.find(BANNER); nAt != std::string::npos; nAt = strEntries.find(BANNER, nAt))
        strEntries.erase(nAt, strlen(BANNER));
    EXPECT_EQ(strEntries, Joined(OutputRecorder::s_echoes));
    for (size_t i = 0; i < OutputRecorder::s_calls.size(); ++i)
        ASSERT_NE("sync NULL", OutputRecorder::s_calls[i]);
}

TEST(SyncCallsTest, ThePlatformSyncsARealFileAndFolder)
{
    // The file as the library opens it (append-only on Windows, where the
    // flush must still be allowed) and the folder that holds it.
    const std::string strDir = MakeTempDir();
    ASSERT_FALSE(strDir.empty());
    const std::string strPath = strDir + SEP + "synced.log";
    FILE* pFile = QwOpenAppend(strPath.c_str());
    ASSERT_TRUE(pFile != NULL);
    EXPECT_EQ(TRUE, CLogAppend::Whole(pFile, "abc\r\n", 5));
    EXPECT_EQ(TRUE, QwSyncFile(pFile));
    EXPECT_EQ(TRUE, QwSyncFolder(strDir));
    fclose(pFile);
    EXPECT_EQ("abc\r\n", ReadWhole(strPath));
    EXPECT_EQ(FALSE, QwSyncFolder(strDir + SEP + "missing"));
    EXPECT_EQ(FALSE, QwSyncFile(NULL));
    RemoveTree(strDir);
}
