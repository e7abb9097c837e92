// Stamped entries: WriteLog's layout, its limits and WriteSilent.
#include "Support.h"

using namespace qwtest;

namespace {

class EntryTest : public QwTest
{
protected:
    void OpenLog()
    {
        m_log = NewLog();
        ASSERT_EQ(TRUE, m_log->Open(NULL));
    }
    std::string File() const { return ReadWhole(Day() + "/090307.log"); }
};

const std::string MESSAGE_STAMP = START_STAMP + "  ";  // what comes before each message

} // namespace

TEST_F(EntryTest, EntryLayouts)
{
    struct { const char* pszFormat; int nArg; std::string strEntry; } cases[] = {
        { "%d items", 3, MESSAGE_STAMP + "3 items\r\n\r\n" },
        { "", 0, MESSAGE_STAMP + "\r\n\r\n" },
        { "100%% at %05d", 42, MESSAGE_STAMP + "100% at 00042\r\n\r\n" },
        { "line\r\nnext %d", -7, MESSAGE_STAMP + "line\r\nnext -7\r\n\r\n" },
    };
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        SCOPED_TRACE(cases[i].pszFormat);
        m_log.reset();  // an open file cannot be removed on Windows
        RemoveTree(LogRoot());
        OpenLog();
        EXPECT_EQ(TRUE, m_log->WriteLog(cases[i].pszFormat, cases[i].nArg));
        EXPECT_EQ(BANNER + cases[i].strEntry, File());
        EXPECT_TRUE(Reports().empty());
    }
}

TEST_F(EntryTest, NothingIsWrittenWithoutAnOpenFileAndOnlyADumpIsReported)
{
    LogPtr log = NewLog();
    EXPECT_EQ(TRUE, log->WriteLog("never opened %d", 1));
    EXPECT_EQ(std::vector<std::string>(), ListDir(Day()));
    ASSERT_EQ(TRUE, log->Open(NULL));
    ASSERT_EQ(TRUE, log->Close());
    EXPECT_EQ(TRUE, log->WriteLog("after close %d", 2));
    EXPECT_EQ(BANNER, ReadWhole(Day() + "/090307.log"));
    EXPECT_TRUE(Reports().empty());
    const unsigned char data[4] = { 0, 1, 2, 3 };
    EXPECT_EQ(TRUE, log->WriteHex(data, sizeof(data), TRUE, TRUE));
    EXPECT_EQ(BANNER, ReadWhole(Day() + "/090307.log"));
    ASSERT_EQ(1u, Reports().size());
    EXPECT_NE(std::string::npos, Reports()[0].find("LogClass\\TxtLog.cpp"));
}

TEST_F(EntryTest, NullFormatIsReportedAndWritesAnEmptyEntry)
{
    OpenLog();
    ClearReports();
    EXPECT_EQ(TRUE, m_log->WriteLog(NULL));
    EXPECT_EQ(1u, Reports().size());
    EXPECT_EQ(BANNER + Entry(START_STAMP, ""), File());
    ClearReports();
    EXPECT_EQ(TRUE, m_log->WriteSilent(NULL));
    ASSERT_EQ(1u, Reports().size());
    EXPECT_NE(std::string::npos, Reports()[0].find("LogClass\\TxtLog.cpp"));
    EXPECT_EQ(BANNER + Entry(START_STAMP, ""), File());
}

TEST_F(EntryTest, LongMessageIsCutAtTheLimit)
{
    OpenLog();
    std::string strHuge(100 * 1024, 'x');
    strHuge[MESSAGE_LIMIT - 1] = 'L';
    strHuge[MESSAGE_LIMIT] = 'C';
    EXPECT_EQ(TRUE, m_log->WriteLog("%s", strHuge.c_str()));
    EXPECT_EQ(BANNER + MESSAGE_STAMP + strHuge.substr(0, MESSAGE_LIMIT) + "\r\n\r\n", File());
    // The object is still whole after the long entry.
    EXPECT_EQ(TRUE, m_log->WriteLog("%s", "after"));
    EXPECT_EQ(BANNER + MESSAGE_STAMP + strHuge.substr(0, MESSAGE_LIMIT) + "\r\n\r\n" + MESSAGE_STAMP + "after\r\n\r\n", File());
}

TEST_F(EntryTest, WriteSilentRecordsNothing)
{
    OpenLog();
    m_log->ShowConsole(TRUE);
    ConsoleRecorder::Reset();
    EXPECT_EQ(TRUE, m_log->WriteSilent("%d %s", 5, "quiet"));
    EXPECT_EQ(BANNER, File());
    EXPECT_TRUE(ConsoleRecorder::All().empty());
    EXPECT_TRUE(Reports().empty());
}
