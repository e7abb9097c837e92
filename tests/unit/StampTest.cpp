// [LOG] STAMP=MS|US and THREAD=1: every form of the stamp against golden files
// (scripted clock readings through the clock seams, a fixed thread id), the
// settings that pick a form, the console mirror and the echo showing the file's
// stamps, and stamps that never go backwards under four threads.
#include "Support.h"

#include "QwGolden.h"

#include <string.h>

#include <atomic>
#include <mutex>
#include <thread>

using namespace qwtest;

namespace {

// The clock readings of the golden files, in the order the steps take them:
// a whole second, a fraction that truncates to .000 in milliseconds, .999 in
// milliseconds only, the last nanosecond before a second, and the last before
// midnight.
struct READING
{
    int nHour, nMin, nSec;
    long nNanos;
};
const READING s_aReadings[] = {
    { 9, 8, 7, 0 }, { 9, 8, 7, 999999 }, { 9, 8, 7, 999000000 }, { 9, 8, 7, 999999999 }, { 23, 59, 59, 999999999 },
};
std::atomic<size_t> s_nStampReading(0);

QW_CLOCK_READING ScriptedReading()
{
    const READING& r = s_aReadings[s_nStampReading.load()];
    QW_CLOCK_READING now;
    now.tSeconds = Utc(2024, 3, 5, r.nHour, r.nMin, r.nSec);
    now.nNanos = r.nNanos;
    return now;
}

// Both clock seams read the same scripted reading: whole-second stamps and file
// names take its seconds, sub-second stamps all of it.
time_t ScriptedSeconds(void) { return ScriptedReading().tSeconds; }
void ScriptedPrecise(QW_CLOCK_READING* pNow) { *pNow = ScriptedReading(); }
DWORD FixedThread(void) { return 4711; }

std::string Golden(const char* pszName)
{
    for (size_t i = 0; i < sizeof(QW_GOLDEN) / sizeof(QW_GOLDEN[0]); ++i)
        if (strcmp(QW_GOLDEN[i].pszName, pszName) == 0)
            return std::string(QW_GOLDEN[i].pText, QW_GOLDEN[i].nLen);
    ADD_FAILURE() << "no golden file " << pszName;
    return std::string();
}

// The echo channel, recorded.
std::mutex s_echoMutex;
std::string s_strEchoed;
BOOL NoSync(FILE*) { return TRUE; }
BOOL NoFolderSync(const std::string&) { return TRUE; }
void RecordEcho(FILE*, const char* p, size_t nLen)
{
    std::lock_guard<std::mutex> lock(s_echoMutex);
    s_strEchoed.append(p, nLen);
}
const QW_OUTPUT_API s_echoRecorder = { &NoSync, &NoFolderSync, &RecordEcho };

class StampTest : public QwTest
{
protected:
    void SetUp() override
    {
        QwTest::SetUp();
        s_nStampReading = 0;
        QwSetClock(&ScriptedSeconds);
        QwSetPreciseClock(&ScriptedPrecise);
        QwSetThreadId(&FixedThread);
        s_strEchoed.clear();
    }
    void TearDown() override
    {
        QwTest::TearDown();
        QwSetPreciseClock(NULL);
        QwSetThreadId(NULL);
        QwSetOutputApi(NULL);
    }
    void Configure(const std::string& strIni) { WriteWhole(Host() + SEP + "Quillwork.ini", strIni); }
    std::string File() const { return ReadWhole(Day("2024-03-05") + SEP + "090807.log"); }

    // The steps of every golden file: at each reading an entry and a dump of
    // 20 bytes (two lines, so the indent shows), then a dump of 300 bytes (laid
    // out before the lock) at the last reading.
    void WriteGoldenSteps()
    {
        s_nStampReading = 0;
        m_log = NewLog();
        ASSERT_EQ(TRUE, m_log->Open(NULL));
        unsigned char data[300];
        for (unsigned int i = 0; i < sizeof(data); ++i)
            data[i] = (unsigned char)i;
        for (size_t i = 0; i < sizeof(s_aReadings) / sizeof(s_aReadings[0]); ++i) {
            s_nStampReading = i;
            m_log->WriteLog("entry %d", (int)i);
            m_log->WriteHex(data, 20, i % 2 == 0 ? TRUE : FALSE, TRUE);
        }
        m_log->WriteHex(data, sizeof(data), FALSE, TRUE);
        m_log.reset();
    }
};

struct GOLDEN_CASE
{
    const char* pszIni;
    const char* pszGolden;
};

const GOLDEN_CASE s_aGoldenCases[] = {
    { "", "stamp_seconds.log" },
    { "[LOG]\nSTAMP=MS\n", "stamp_ms.log" },
    { "[LOG]\nSTAMP=US\n", "stamp_us.log" },
    { "[LOG]\nTHREAD=1\n", "stamp_thread.log" },
    { "[LOG]\nSTAMP=MS\nTHREAD=1\n", "stamp_ms_thread.log" },
    { "[LOG]\nTHREAD=1\nSTAMP=US\n", "stamp_us_thread.log" },
    // Spellings that pick a form, and values that leave whole seconds as they were.
    { "[log]\n stamp = ms \n", "stamp_ms.log" },
    { "[LOG]\nSTAMP=\"Us\"\n", "stamp_us.log" },
    { "[LOG]\nSTAMP=NS\n", "stamp_seconds.log" },
    { "[LOG]\nSTAMP=MSX\n", "stamp_seconds.log" },
    { "[LOG]\nSTAMP=1\nTHREAD=0\n", "stamp_seconds.log" },
    { "[LOG]\nTHREAD=2\n", "stamp_seconds.log" },
    { "[CONSOLE]\nSTAMP=MS\nTHREAD=1\n", "stamp_seconds.log" },
};

} // namespace

TEST_F(StampTest, EveryFormMatchesItsGoldenFile)
{
    for (size_t i = 0; i < sizeof(s_aGoldenCases) / sizeof(s_aGoldenCases[0]); ++i) {
        SCOPED_TRACE(s_aGoldenCases[i].pszIni);
        Configure(s_aGoldenCases[i].pszIni);
        RemoveTree(LogRoot());
        WriteGoldenSteps();
        EXPECT_EQ(Golden(s_aGoldenCases[i].pszGolden), File());
        EXPECT_TRUE(Reports().empty());
    }
}

TEST_F(StampTest, TheMirrorAndTheEchoShowTheGoldenBytes)
{
    // With the console and ECHO every entry is written under the lock, past the
    // queue: the file, the mirror and the echo all hold the golden bytes.
    for (size_t i = 0; i < 6; ++i) {
        SCOPED_TRACE(s_aGoldenCases[i].pszIni);
        // One [LOG] section: Windows reads only the first of two with one name.
        std::string strKeys = s_aGoldenCases[i].pszIni;
        if (strKeys.compare(0, 6, "[LOG]\n") == 0)
            strKeys.erase(0, 6);
        Configure("[CONSOLE]\nOPEN=1\n[LOG]\nECHO=1\n" + strKeys);
        RemoveTree(LogRoot());
        QwSetOutputApi(&s_echoRecorder);
        s_strEchoed.clear();
        ConsoleRecorder::Reset();
        WriteGoldenSteps();
        const std::string strGolden = Golden(s_aGoldenCases[i].pszGolden);
        EXPECT_EQ(strGolden, File());
        EXPECT_EQ(AfterBanner(strGolden), ConsoleRecorder::Written()) << "the mirror shows the file's stamps";
        EXPECT_EQ(AfterBanner(strGolden), s_strEchoed) << "the echo carries the file's stamps";
    }
}

TEST_F(StampTest, TheMirrorColoursTheWholeStampWithItsThread)
{
    Configure("[CONSOLE]\nOPEN=1\n[LOG]\nSTAMP=MS\nTHREAD=1\n");
    s_nStampReading = 2;
    m_log = NewLog();
    ASSERT_EQ(TRUE, m_log->Open("colours"));
    ConsoleRecorder::Reset();
    m_log->WriteLog("x");
    std::vector<std::string> effects = ConsoleRecorder::Effects();
    std::string strJoined;
    for (size_t i = 0; i < effects.size(); ++i)
        strJoined += effects[i] + "|";
    // The stamp is written as one piece in the stamp colour, thread included.
    EXPECT_NE(std::string::npos, strJoined.find("2024-03-05 09:08:07.999 [4711]  |")) << strJoined;
}

TEST_F(StampTest, StampsNeverGoBackwardsUnderFourThreads)
{
    // The real clocks and thread ids: four threads write entries and dumps at
    // once; in file order the stamps never go back, and each record carries the
    // id of the thread that wrote it.
    QwSetClock(NULL);
    QwSetPreciseClock(NULL);
    QwSetThreadId(NULL);
    Configure("[LOG]\nSTAMP=US\nTHREAD=1\n");
    m_log = NewLog();
    ASSERT_EQ(TRUE, m_log->Open("threads"));
    const int THREADS = 4, PER_THREAD = 1500;
    DWORD anIds[THREADS] = { 0 };
    std::vector<std::thread> workers;
    for (int t = 0; t < THREADS; ++t)
        workers.push_back(std::thread([this, t, &anIds] {
            anIds[t] = QwThreadId();
            unsigned char data[40] = { (unsigned char)t };
            for (int n = 0; n < PER_THREAD; ++n) {
                if (n % 5 == 4)
                    m_log->WriteHex(data, sizeof(data), TRUE, TRUE);
                else
                    m_log->WriteLog("w%d n%d", t, n);
            }
        }));
    for (size_t t = 0; t < workers.size(); ++t)
        workers[t].join();
    m_log.reset();
    const std::string strFile = ReadWhole(TheFile());
    std::string strLast;
    size_t nRecords = 0, nPos = 0;
    int anCount[THREADS] = { 0 };
    while ((nPos = strFile.find("\r\n", nPos)) != std::string::npos) {
        nPos += 2;
        if (nPos + 26 > strFile.size() || strFile[nPos] < '0' || strFile[nPos] > '9')
            continue;
        const std::string strStamp = strFile.substr(nPos, 26);
        ASSERT_EQ('.', strStamp[19]) << strFile.substr(nPos, 60);
        ASSERT_LE(strLast, strStamp) << "a stamp went backwards at byte " << nPos;
        strLast = strStamp;
        size_t nClose = strFile.find("] ", nPos + 26);
        ASSERT_EQ(" [", strFile.substr(nPos + 26, 2));
        const DWORD nId = (DWORD)std::stoul(strFile.substr(nPos + 28, nClose - nPos - 28));
        int nWriter = -1;
        if (strFile.compare(nClose, 4, "]  w") == 0)
            nWriter = strFile[nClose + 4] - '0';
        else {
            const size_t nLabel = strFile.find("00000000h: ", nClose);
            nWriter = (int)std::stoul(strFile.substr(nLabel + 11, 2), NULL, 16);
            // The next line stands under the first: as many spaces as the stamp and arrow.
            const size_t nNext = strFile.find("\r\n", nLabel) + 2;
            EXPECT_EQ(std::string(nLabel - nPos, ' ') + "00000010h: ", strFile.substr(nNext, nLabel - nPos + 11));
        }
        ASSERT_TRUE(nWriter >= 0 && nWriter < THREADS);
        EXPECT_EQ(anIds[nWriter], nId);
        ++anCount[nWriter];
        ++nRecords;
    }
    EXPECT_EQ((size_t)(THREADS * PER_THREAD), nRecords);
    for (int t = 0; t < THREADS; ++t) {
        EXPECT_EQ(PER_THREAD, anCount[t]);
        for (int u = 0; u < t; ++u)
            EXPECT_NE(anIds[t], anIds[u]) << "four threads, four ids";
    }
}

TEST_F(StampTest, TheSystemClockAndThreadIdAreSane)
{
    // The platform's sub-second clock: a fraction in range, seconds that agree
    // with the plain clock, and a thread id that differs between threads.
    QW_CLOCK_READING now;
    time_t tBefore = QwSystemClock();
    QwSystemClockPrecise(&now);
    time_t tAfter = QwSystemClock();
    EXPECT_LE(0, now.nNanos);
    EXPECT_GT(1000000000L, now.nNanos);
    EXPECT_LE(tBefore - 1, now.tSeconds);
    EXPECT_GE(tAfter + 1, now.tSeconds);
    DWORD nMine = QwSystemThreadId(), nOther = 0;
    std::thread([&nOther] { nOther = QwSystemThreadId(); }).join();
    EXPECT_NE(0u, nMine);
    EXPECT_NE(nMine, nOther);
    EXPECT_EQ(nMine, QwSystemThreadId());
}
