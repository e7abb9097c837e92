// The factory, the day folder and the names and life of the log file.
#include "Support.h"

#include <climits>

using namespace qwtest;

namespace {

void* FailingAlloc(size_t) { return NULL; }

class FactoryTest : public QwTest {};
class FolderTest : public QwTest {};
class FileNameTest : public QwTest {};
class OpenTest : public QwTest {};

} // namespace

TEST_F(FactoryTest, TypesOtherThanTextGiveNullAndOnlyUnknownOnesAreReported)
{
    struct { int nType; bool bReported; } cases[] = { { 1, false }, { 2, true }, { -1, true }, { INT_MAX, true }, { INT_MIN, true } };
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        SCOPED_TRACE(cases[i].nType);
        ClearReports();
        EXPECT_TRUE(CreateLogObject(cases[i].nType) == NULL);
        std::vector<std::string> expected;
        if (cases[i].bReported)
            expected.push_back("Invaild log format file!");
        EXPECT_EQ(expected, Reports());
    }
}

TEST_F(FactoryTest, TwoTextObjectsAreDistinctAndOutliveEachOther)
{
    ILogObject* pFirst = CreateLogObject(0);
    ILogObject* pSecond = CreateLogObject(0);
    ASSERT_TRUE(pFirst != NULL && pSecond != NULL);
    EXPECT_NE(pFirst, pSecond);
    EXPECT_TRUE(Reports().empty());
    pFirst->Release();
    EXPECT_EQ(TRUE, pSecond->Open("Left"));
    EXPECT_EQ(TRUE, pSecond->WriteLog("%s", "still here"));
    pSecond->Release();
    EXPECT_EQ(BANNER + Entry(START_STAMP, "still here"), ReadWhole(Day() + "/090307_Left.log"));
}

TEST_F(FactoryTest, ReleaseOfANeverOpenedObjectWritesNothing)
{
    WriteWhole(Host() + "/Quillwork.ini", "[CONSOLE]\nOPEN=1\n");
    CreateLogObject(0)->Release();
    EXPECT_EQ(std::vector<std::string>(), ListDir(Day()));
    EXPECT_EQ(std::vector<std::string>(), ConsoleRecorder::All());
    EXPECT_TRUE(Reports().empty());
}

TEST_F(FactoryTest, FailedAllocationGivesNull)
{
    QwSetAllocator(&FailingAlloc);
    EXPECT_TRUE(CreateLogObject(0) == NULL);
    QwSetAllocator(NULL);
    LogPtr log = NewLog();
    EXPECT_TRUE(log.get() != NULL);
}

TEST_F(FolderTest, FindsOrMakesTheLogAndDayFolders)
{
    enum { NEITHER, LOG_ONLY, BOTH };
    for (int nState = NEITHER; nState <= BOTH; ++nState) {
        SCOPED_TRACE(nState);
        RemoveTree(LogRoot());
        if (nState >= LOG_ONLY)
            ASSERT_TRUE(MakeDir(LogRoot()));
        if (nState == BOTH) {
            ASSERT_TRUE(MakeDir(Day()));
            WriteWhole(Day() + "/earlier.log", "kept");
        }
        LogPtr log = NewLog();
        ASSERT_TRUE(log.get() != NULL);
        EXPECT_EQ(Host(), CTxtLogProbe::AppDir(log.get()));
        EXPECT_EQ(Day(), CTxtLogProbe::LogDir(log.get()));
        EXPECT_TRUE(IsDir(Day()));
        EXPECT_TRUE(Reports().empty());
        if (nState == BOTH)
            EXPECT_EQ("kept", ReadWhole(Day() + "/earlier.log"));
    }
}

TEST_F(FolderTest, OtherDaysFoldersAreLeftAlone)
{
    ASSERT_TRUE(MakeDir(LogRoot()));
    ASSERT_TRUE(MakeDir(Day("2024-04-30")));
    WriteWhole(Day("2024-04-30") + "/235959.log", "yesterday");
    LogPtr log = NewLog();
    ASSERT_TRUE(log->Open(NULL));
    std::vector<std::string> days;
    days.push_back("2024-04-30");
    days.push_back("2024-05-01");
    EXPECT_EQ(days, ListDir(LogRoot()));
    EXPECT_EQ(std::vector<std::string>(1, "235959.log"), ListDir(Day("2024-04-30")));
    EXPECT_EQ("yesterday", ReadWhole(Day("2024-04-30") + "/235959.log"));
}

TEST_F(FolderTest, HostFolderThatTakesNoLogsFallsBackToThePerUserFolderOrIsReported)
{
    // What stands in the way: a plain file named Log, one named as the day, or one
    // where a parent of the folder DIR names should be.
    enum { FILE_AS_LOG, FILE_AS_DAY, FILE_IN_DIR };
    struct { int nBlock; bool bPerUser; } cases[] = {
        { FILE_AS_LOG, true }, { FILE_AS_DAY, true }, { FILE_IN_DIR, true }, { FILE_AS_LOG, false }, { FILE_AS_DAY, false },
    };
    const std::string strIni = Host() + SEP + "Quillwork.ini";
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        SCOPED_TRACE(i);
        RemoveTree(LogRoot());
        RemoveTree(PerUser());
        RemoveOne(strIni);
        RemoveOne(Host() + SEP + "blocked");
        std::string strBlock = cases[i].nBlock == FILE_AS_LOG ? LogRoot() : Day();
        std::vector<std::string> hostFolder(1, "Log");
        if (cases[i].nBlock == FILE_AS_DAY)
            ASSERT_TRUE(MakeDir(LogRoot()));
        if (cases[i].nBlock == FILE_IN_DIR) {
            strBlock = Host() + SEP + "blocked";
            WriteWhole(strIni, "[LOG]\nDIR=blocked" + SEP + "logs\n");
            hostFolder = { "Quillwork.ini", "blocked" };
        }
        WriteWhole(strBlock, "not a folder");
        if (!cases[i].bPerUser)
            HidePerUserFolder();
        ClearReports();
        LogPtr log = NewLog();
        UsePerUserFolder(PerUser());
        ASSERT_TRUE(log.get() != NULL);
        std::vector<std::string> reports = Reports();
        ASSERT_EQ(cases[i].bPerUser ? 1u : 2u, reports.size());
        // The first trace names the folder that could not be made, with the system's reason.
        EXPECT_NE(std::string::npos, reports[0].find("cannot make the log folder " + strBlock + " (")) << reports[0];
        if (cases[i].bPerUser) {
            // The folders are made in the per-user folder and the trace names the day folder.
            EXPECT_EQ(PerUserDay(), CTxtLogProbe::LogDir(log.get()));
            EXPECT_NE(std::string::npos, reports[0].find("logs go to the per-user folder " + PerUserDay())) << reports[0];
            ASSERT_EQ(TRUE, log->Open("Moved"));
            EXPECT_EQ(BANNER, ReadWhole(PerUserDay() + SEP + "090307_Moved.log"));
        } else {
            // No per-user folder: the assertion, and the folder whose creation failed.
            EXPECT_EQ(strBlock, CTxtLogProbe::LogDir(log.get()));
            EXPECT_NE(std::string::npos, reports[0].find("there is no per-user folder")) << reports[0];
            EXPECT_NE(std::string::npos, reports[1].find("LogClass\\TxtLog.cpp")) << reports[1];
            EXPECT_EQ(FALSE, log->Open("Moved"));
            EXPECT_FALSE(Exists(PerUser()));
        }
        EXPECT_EQ("not a folder", ReadWhole(strBlock));
        EXPECT_EQ(hostFolder, ListDir(Host()));
    }
}

TEST_F(FolderTest, LogFolderIsFoundAsTheFileSystemComparesNames)
{
    // Windows file systems ignore case: an existing LOG is the log folder. On
    // POSIX it is another folder, and Log is made beside it.
    ASSERT_TRUE(MakeDir(Host() + SEP + "LOG"));
    LogPtr log = NewLog();
    ASSERT_EQ(TRUE, log->Open(NULL));
    EXPECT_TRUE(Reports().empty());
    if (IsWindows()) {
        EXPECT_EQ(std::vector<std::string>(1, "LOG"), ListDir(Host()));
        EXPECT_EQ(std::vector<std::string>(1, "090307.log"), ListDir(Host() + "\\LOG\\2024-05-01"));
    } else {
        EXPECT_EQ((std::vector<std::string>{ "LOG", "Log" }), ListDir(Host()));
        EXPECT_EQ(std::vector<std::string>(1, "090307.log"), ListDir(Day()));
    }
}

TEST_F(FolderTest, DayFolderIsFixedAtConstructionAcrossMidnight)
{
    SetNow(Utc(2024, 5, 1, 23, 59, 59));
    LogPtr log = NewLog();
    SetNow(Utc(2024, 5, 2, 0, 0, 1));
    ASSERT_EQ(TRUE, log->Open(NULL));
    EXPECT_EQ(BANNER, ReadWhole(Day() + "/000001.log"));
    EXPECT_EQ(std::vector<std::string>(1, "2024-05-01"), ListDir(LogRoot()));
}

TEST_F(FileNameTest, NameGivesTheFileAndItsExtension)
{
    struct { const char* pszName; std::string strFile; } cases[] = {
        { NULL, "140509.log" },
        { "Trace", "140509_Trace.log" },
        { "Trace.txt", "140509_Trace.txt" },
        { "rev.2", "140509_rev.2" },
        { "", "140509_.log" },
        { "abcdefghijklmnopq", "140509_abcdefghijklmnopq.log" },
        { "abcdefghijklmnopqr", "140509_abcdefghijklmnopqr.log" },
        { "0123456789012345678901234567890123456789", "140509_0123456789012345678901234567890123456789.log" },
    };
    SetNow(Utc(2024, 5, 1, 14, 5, 9));
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        SCOPED_TRACE(cases[i].strFile);
        RemoveTree(LogRoot());
        LogPtr log = NewLog();
        ASSERT_EQ(TRUE, log->Open(cases[i].pszName));
        EXPECT_EQ(std::vector<std::string>(1, cases[i].strFile), ListDir(Day()));
        EXPECT_EQ(BANNER, ReadWhole(Day() + "/" + cases[i].strFile));
    }
}

TEST_F(FileNameTest, NamesLeavingTheFolderOrTheFileSystemsLimitAreRefused)
{
    // 090307_<name>.log: a file name of at most 255 bytes, whatever the path's length.
    const std::string strLongest(255 - 11, 'n'), strTooLong(255 - 10, 'n');
    struct { std::string strName; BOOL bOpened; } cases[] = {
        { "a\\b", FALSE }, { "a/b", FALSE }, { "../up", FALSE }, { strTooLong, FALSE }, { std::string(260, 'x'), FALSE },
        { strLongest, TRUE },
    };
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        SCOPED_TRACE(cases[i].strName);
        RemoveTree(LogRoot());
        LogPtr log = NewLog();
        EXPECT_EQ(cases[i].bOpened, log->Open(cases[i].strName.c_str()));
        EXPECT_EQ(cases[i].bOpened, CTxtLogProbe::File(log.get()) != NULL);
        EXPECT_EQ(TRUE, log->WriteLog("nothing, unless opened"));
        std::vector<std::string> expected;
        if (cases[i].bOpened)
            expected.push_back("090307_" + strLongest + ".log");
        EXPECT_EQ(expected, ListDir(Day()));
        EXPECT_EQ(std::vector<std::string>(1, "2024-05-01"), ListDir(LogRoot()));
        EXPECT_EQ((std::vector<std::string>{ "Log" }), ListDir(Host()));
    }
}

TEST_F(OpenTest, OneBannerPerOpenAndReopenInTheSameSecondAppendsByteExact)
{
    const std::string strFile = Day() + SEP + "090307_Trace.log";
    LogPtr log = NewLog();
    ASSERT_EQ(TRUE, log->Open("Trace"));
    EXPECT_EQ(BANNER, ReadWhole(strFile));
    SetNow(Utc(2024, 5, 1, 9, 3, 8));
    EXPECT_EQ(TRUE, log->Open("Other"));  // already open: ignored, no file of its own
    EXPECT_EQ(BANNER, ReadWhole(strFile));
    EXPECT_EQ(std::vector<std::string>(1, "090307_Trace.log"), ListDir(Day()));
    SetNow(Utc(2024, 5, 1, 9, 3, 7));
    EXPECT_EQ(TRUE, log->WriteLog("%d items", 3));
    EXPECT_EQ(TRUE, log->WriteLog(""));
    EXPECT_EQ(TRUE, log->WriteSilent("%d", 5));
    EXPECT_EQ(TRUE, log->Close());
    EXPECT_TRUE(CTxtLogProbe::File(log.get()) == NULL);
    EXPECT_EQ(TRUE, log->WriteLog("closed"));
    ASSERT_EQ(TRUE, log->Open("Trace"));  // the same second: the same file, a second banner
    EXPECT_EQ(TRUE, log->WriteLog("%s|%5d|%-3s|%x", "s", 42, "ab", 255));
    log.reset();
    EXPECT_EQ(BANNER + Entry(START_STAMP, "3 items") + Entry(START_STAMP, "") + BANNER + Entry(START_STAMP, "s|   42|ab |ff"),
              ReadWhole(strFile));
    EXPECT_EQ(std::vector<std::string>(1, "090307_Trace.log"), ListDir(Day()));
}

TEST_F(OpenTest, MissingDayFolderIsMadeAgainAndOneThatCannotBeFailsOpen)
{
    WriteWhole(Host() + "/Quillwork.ini", "[CONSOLE]\nOPEN=1\n");
    LogPtr log = NewLog();
    // Gone since construction (cleaning elsewhere): made again, the same day.
    SetNow(Utc(2024, 5, 2, 0, 0, 1));
    ASSERT_TRUE(RemoveOne(Day()));
    ASSERT_TRUE(RemoveOne(LogRoot()));
    ASSERT_EQ(TRUE, log->Open(NULL));
    EXPECT_EQ(BANNER, ReadWhole(Day() + "/000001.log"));
    log->Close();
    // A plain file where the day folder was: Open fails and writes go nowhere.
    RemoveTree(Day());
    WriteWhole(Day(), "not a folder");
    ConsoleRecorder::Reset();
    EXPECT_EQ(FALSE, log->Open(NULL));
    const unsigned char data[3] = { 1, 2, 3 };
    EXPECT_EQ(TRUE, log->WriteLog("lost %d", 1));
    EXPECT_EQ(TRUE, log->WriteHex(data, sizeof(data), TRUE, TRUE));
    EXPECT_EQ(std::vector<std::string>(1, "2024-05-01"), ListDir(LogRoot()));
    EXPECT_EQ("not a folder", ReadWhole(Day()));
    EXPECT_TRUE(ConsoleRecorder::All().empty());
}
