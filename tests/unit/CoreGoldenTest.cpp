// Whole-file golden tests of the text log through the static core: the host
// folder and the clock are fixed through the seams.
#include "Support.h"

#include <string.h>

#include <thread>
#include <string>
#include <vector>

using qwtest::Utc;
using qwtest::UseUtc;
using qwtest::Exists;
using qwtest::MESSAGE_LIMIT;

namespace {

std::string g_strHostExe;
time_t g_tNow = 0;

DWORD FixedModulePath(char* pszPath, DWORD nSize)
{
    snprintf(pszPath, nSize, "%s", g_strHostExe.c_str());
    return (DWORD)strlen(pszPath);
}

time_t FixedClock(void) { return g_tNow; }

const std::string kBanner = "\r\n------\r\n\r\n\r\n";
const std::string kSep = QW_PATH_SEP_STR;

class CoreGolden : public ::testing::Test
{
protected:
    void SetUp() override
    {
        UseUtc();
        // A fresh folder per test, so files of earlier runs never mix in.
        m_strHost = qwtest::MakeTempDir();
        ASSERT_FALSE(m_strHost.empty());
        g_strHostExe = m_strHost + kSep + "host.exe";
        QwSetModulePath(&FixedModulePath);
        QwSetClock(&FixedClock);
    }
    void TearDown() override
    {
        QwSetModulePath(NULL);
        QwSetClock(NULL);
        qwtest::RemoveTree(m_strHost);
    }
    std::string DayDir(const char* pszDate) const { return m_strHost + kSep + "Log" + kSep + pszDate; }

    std::string m_strHost;
};

TEST_F(CoreGolden, PathPastTheLimitFailsAndCreatesNothing)
{
    g_tNow = Utc(2024, 6, 1, 14, 5, 9);
    ILogObject* pLog = CreateLogObject(0);
    ASSERT_TRUE(pLog != NULL);
    EXPECT_EQ(0, pLog->Open(std::string(QW_MAX_PATH, 'x').c_str()));
    EXPECT_EQ(1, pLog->WriteLog("nothing"));
    pLog->Release();
}

TEST_F(CoreGolden, EntriesAndReopenAreByteExact)
{
    g_tNow = Utc(2024, 5, 1, 9, 3, 7);
    ILogObject* pLog = CreateLogObject(0);
    ASSERT_TRUE(pLog != NULL);
    ASSERT_EQ(1, pLog->Open("Trace"));
    EXPECT_EQ(1, pLog->Open("Other"));  // already open: ignored
    EXPECT_EQ(1, pLog->WriteLog("%d items", 3));
    EXPECT_EQ(1, pLog->WriteLog(""));
    EXPECT_EQ(1, pLog->WriteSilent("%d", 5));
    EXPECT_EQ(1, pLog->Close());
    EXPECT_EQ(1, pLog->WriteLog("closed"));
    ASSERT_EQ(1, pLog->Open("Trace"));
    EXPECT_EQ(1, pLog->WriteLog("%s|%5d|%-3s|%x", "s", 42, "ab", 255));
    pLog->Release();
    const std::string strStamp = "2024-05-01 09:03:07  ";
    EXPECT_EQ(kBanner + strStamp + "3 items\r\n\r\n" + strStamp + "\r\n\r\n" + kBanner + strStamp
                  + "s|   42|ab |ff\r\n\r\n",
              qwtest::ReadWhole(DayDir("2024-05-01") + kSep + "090307_Trace.log"));
    EXPECT_FALSE(Exists(DayDir("2024-05-01") + kSep + "090307_Other.log"));
}

TEST_F(CoreGolden, LongMessageIsCutInsideItsBuffer)
{
    g_tNow = Utc(2024, 5, 1, 9, 3, 7);
    ILogObject* pLog = CreateLogObject(0);
    ASSERT_TRUE(pLog != NULL);
    ASSERT_EQ(1, pLog->Open("Long"));
    const std::string strBig(100 * 1024, 'm');
    EXPECT_EQ(1, pLog->WriteLog("%s", strBig.c_str()));
    pLog->Release();
    std::string strFile = qwtest::ReadWhole(DayDir("2024-05-01") + kSep + "090307_Long.log");
    EXPECT_EQ(kBanner + "2024-05-01 09:03:07  " + std::string(MESSAGE_LIMIT, 'm') + "\r\n\r\n", strFile);
}

// The dump layout, whole entries compared as data.
TEST_F(CoreGolden, DumpsMatchTheirLayout)
{
    struct Case
    {
        std::vector<unsigned char> data;
        BOOL bOut;
        BOOL bHex;
        std::string strEntry;  // after the date and time
    };
    std::vector<unsigned char> twenty, seventeen, thirtytwo;
    for (int i = 0; i < 32; ++i) {
        if (i < 20)
            twenty.push_back((unsigned char)i);
        if (i < 17)
            seventeen.push_back((unsigned char)i);
        thirtytwo.push_back((unsigned char)i);
    }
    const std::string strIndent(24, ' ');
    const std::string strHexLine0 = "00000000h: 00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F ;\r\n";
    const std::vector<Case> cases = {
        { twenty, 1, 1, " --> " + strHexLine0 + strIndent + "00000010h: 10 11 12 13 \r\n\r\n" },
        { seventeen, 7, 1, " --> " + strHexLine0 + strIndent + "00000010h: 10 \r\n\r\n" },
        { thirtytwo, 0, 1,
          " <-- " + strHexLine0 + strIndent + "00000010h: 10 11 12 13 14 15 16 17 18 19 1A 1B 1C 1D 1E 1F ;\r\n\r\n" },
        { std::vector<unsigned char>(thirtytwo.begin(), thirtytwo.begin() + 16), 1, 1, " --> " + strHexLine0 + "\r\n" },
        { std::vector<unsigned char>(33, 5), 0, 0,
          " <-- 00000000d: 05 05 05 05 05 05 05 05 05 05 05 05 05 05 05 05 ;\r\n" + strIndent
              + "00000016d: 05 05 05 05 05 05 05 05 05 05 05 05 05 05 05 05 ;\r\n" + strIndent + "00000032d: 05 \r\n\r\n" },
        { std::vector<unsigned char>(29, 200), 1, 0,
          " --> 00000000d: 200 200 200 200 200 200 200 200 200 200 200 200 200 200 200 200 ;\r\n" + strIndent
              + "00000016d: 200 200 200 200 200 200 200 200 200 200 200 200 200 ;\r\n\r\n" },
        { { 5, 99, 100, 255 }, 1, 0, " --> 00000000d: 05 99 100 255 \r\n\r\n" },
    };
    g_tNow = Utc(2024, 3, 5, 9, 8, 7);
    for (size_t i = 0; i < cases.size(); ++i) {
        std::string strName = "dump" + std::to_string(i);
        ILogObject* pLog = CreateLogObject(0);
        ASSERT_TRUE(pLog != NULL);
        ASSERT_EQ(1, pLog->Open(strName.c_str()));
        EXPECT_EQ(1, pLog->WriteHex(cases[i].data.data(), (unsigned int)cases[i].data.size(), cases[i].bOut, cases[i].bHex));
        pLog->Release();
        EXPECT_EQ(kBanner + "2024-03-05 09:08:07" + cases[i].strEntry,
                  qwtest::ReadWhole(DayDir("2024-03-05") + kSep + "090807_" + strName + ".log"))
            << "case " << i;
    }
}

TEST_F(CoreGolden, ReleaseWithAFileOpenLeavesItComplete)
{
    g_tNow = Utc(2024, 5, 1, 9, 3, 7);
    ILogObject* pLog = CreateLogObject(0);
    ASSERT_TRUE(pLog != NULL);
    ASSERT_EQ(1, pLog->Open("Rel"));
    EXPECT_EQ(1, pLog->WriteLog("last words"));
    pLog->Release();
    EXPECT_EQ(kBanner + "2024-05-01 09:03:07  last words\r\n\r\n",
              qwtest::ReadWhole(DayDir("2024-05-01") + kSep + "090307_Rel.log"));
}

// Entries and dumps from several threads: every one arrives whole, none split.
TEST_F(CoreGolden, ThreadsMixingEntriesAndDumpsNeverSplitThem)
{
    g_tNow = Utc(2024, 5, 1, 9, 3, 7);
    ILogObject* pLog = CreateLogObject(0);
    ASSERT_TRUE(pLog != NULL);
    ASSERT_EQ(1, pLog->Open("Mix"));
    const int kThreads = 4, kRounds = 300;
    const unsigned char data[17] = { 0 };
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t]() {
            for (int i = 0; i < kRounds; ++i) {
                pLog->WriteLog("t%d n%d", t, i);
                pLog->WriteHex(data, sizeof(data), t & 1, 1);
            }
        });
    for (std::thread& th : threads)
        th.join();
    pLog->Release();
    const std::string strFile = qwtest::ReadWhole(DayDir("2024-05-01") + kSep + "090307_Mix.log");
    const std::string strDumpBody = "00000000h: 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 ;\r\n"
                                    + std::string(24, ' ') + "00000010h: 00 \r\n\r\n";
    ASSERT_EQ(0u, strFile.find(kBanner));
    size_t nPos = kBanner.size(), nEntries = 0, nDumps = 0;
    const std::string strStamp = "2024-05-01 09:03:07";
    while (nPos < strFile.size()) {
        ASSERT_EQ(nPos, strFile.find(strStamp, nPos)) << "entry split at " << nPos;
        nPos += strStamp.size();
        if (strFile.compare(nPos, 2, "  ") == 0) {
            size_t nEnd = strFile.find("\r\n\r\n", nPos);
            ASSERT_NE(std::string::npos, nEnd);
            ASSERT_EQ(std::string::npos, strFile.substr(nPos, nEnd - nPos).find(strStamp.substr(0, 5)));
            nPos = nEnd + 4;
            ++nEntries;
        } else {
            ASSERT_TRUE(strFile.compare(nPos, 5, " --> ") == 0 || strFile.compare(nPos, 5, " <-- ") == 0);
            nPos += 5;
            ASSERT_EQ(0, strFile.compare(nPos, strDumpBody.size(), strDumpBody)) << "dump split at " << nPos;
            nPos += strDumpBody.size();
            ++nDumps;
        }
    }
    EXPECT_EQ((size_t)(kThreads * kRounds), nEntries);
    EXPECT_EQ((size_t)(kThreads * kRounds), nDumps);
}

TEST(DumpPieces, DecimalByteTextsAndLabels)
{
    struct Case
    {
        std::vector<unsigned char> line;
        const char* pszText;
    };
    std::vector<unsigned char> a, b;
    for (int i = 0; i < 16; ++i) {
        a.push_back((unsigned char)(i == 0 ? 100 : i));
        b.push_back((unsigned char)(i == 0 ? 200 : i == 1 ? 201 : i));
    }
    const std::vector<Case> cases = {
        { a, "100 01 02 03 04 05 06 07 08 09 10 11 12 13 14 15 ;" },
        { b, "200 201 02 03 04 05 06 07 08 09 10 11 12 13 14 15 ;" },
        { std::vector<unsigned char>(16, 255), "255 255 255 255 255 255 255 255 255 255 255 255 255 255 255 255 ;" },
        { { 5, 99, 100, 255 }, "05 99 100 255 " },
        { {}, "" },
    };
    for (const Case& c : cases) {
        char szBytes[66];
        memset(szBytes, 'x', sizeof(szBytes));
        QwFormatDumpBytes(szBytes, sizeof(szBytes), c.line.data(), (unsigned int)c.line.size(), FALSE);
        EXPECT_STREQ(c.pszText, szBytes);
    }
    char szLabel[15];
    QwFormatDumpLabel(szLabel, sizeof(szLabel), 0x80000010u, FALSE);
    EXPECT_STREQ("2147483664d: ", szLabel);
    QwFormatDumpLabel(szLabel, sizeof(szLabel), 0xFFFFFFF0u, TRUE);
    EXPECT_STREQ("FFFFFFF0h: ", szLabel);
}

} // namespace
