// Black-box tests: the shipped library, loaded by name beside the test program
// and reached only through CreateLogObject, as a host reaches it.
#include "QwLoader.h"
#include "QwLogText.h"

#include <gtest/gtest.h>

#include <stdio.h>
#include <time.h>

#include <fstream>
#include <sstream>
#include <string>

namespace {

PFN_CREATELOGOBJECT Factory()
{
    static PFN_CREATELOGOBJECT s_pfn = QwLoadFactory();
    return s_pfn;
}

// The whole content of a file, or "" when it cannot be read.
std::string ReadFile(const std::string& strPath)
{
    std::ifstream in(strPath.c_str(), std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// Replaces every "YYYY-MM-DD HH:MM:SS" at the given stamp positions by a fixed
// text, so entries can be compared whatever the clock said.
std::string MaskStamps(std::string str)
{
    for (size_t i = 0; i + qwtest::STAMP_LEN <= str.size(); ++i)
        if (qwtest::IsStamp(str, i))
            str.replace(i, qwtest::STAMP_LEN, "YYYY-MM-DD hh:mm:ss");
    return str;
}

// Path of the file Open(pszName) made at tOpened.
std::string LogPath(time_t tOpened, const std::string& strName)
{
    char szDate[20] = { 0 }, szTime[20] = { 0 };
    struct tm* pTm = localtime(&tOpened);
    strftime(szDate, sizeof(szDate), "%Y-%m-%d", pTm);
    strftime(szTime, sizeof(szTime), "%H%M%S", pTm);
    const char c = QwSeparator();
    return QwHostFolder() + c + "Log" + c + szDate + c + szTime + "_" + strName;
}

TEST(Library, FactoryGivesObjectsOnlyForTypeZero)
{
    ASSERT_TRUE(Factory() != NULL) << "cannot load " << QwLibraryName();
    EXPECT_TRUE(Factory()(1) == NULL);
    EXPECT_TRUE(Factory()(2) == NULL);
    EXPECT_TRUE(Factory()(-1) == NULL);
    ILogObject* pA = Factory()(0);
    ILogObject* pB = Factory()(0);
    ASSERT_TRUE(pA != NULL && pB != NULL);
    EXPECT_NE(pA, pB);
    pA->Release();
    EXPECT_EQ(1, pB->WriteLog("still usable"));
    pB->Release();
}

// Every operation that succeeds returns exactly 1; the file holds exactly the
// bytes of the entries (CR LF, never CR CR LF).
TEST(Library, EntriesAndDumpReachTheFileByteForByte)
{
    ASSERT_TRUE(Factory() != NULL);
    ILogObject* pLog = Factory()(0);
    ASSERT_TRUE(pLog != NULL);
    time_t tOpened;
    for (;;) {  // stay inside one second so the name is known
        tOpened = time(NULL);
        EXPECT_EQ(1, pLog->Open("blackbox"));
        if (time(NULL) == tOpened)
            break;
        pLog->Close();
    }
    const unsigned char data[20] = { 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19 };
    EXPECT_EQ(1, pLog->WriteLog("%d items", 3));
    EXPECT_EQ(1, pLog->WriteLog("%s=%u", "id", 42u));
    EXPECT_EQ(1, pLog->WriteSilent("ignored %d", 9));
    EXPECT_EQ(1, pLog->WriteHex(data, sizeof(data), 1, 1));
    EXPECT_EQ(1, pLog->WriteHex(data, sizeof(data), 0, 0));
    EXPECT_EQ(1, pLog->WriteHex(NULL, 4, 1, 1));
    EXPECT_EQ(1, pLog->ShowConsole(0));
    EXPECT_EQ(1, pLog->Close());
    EXPECT_EQ(1, pLog->WriteLog("after close"));
    pLog->Release();

    const std::string& strIndent = qwtest::DUMP_INDENT;
    const std::string strExpected = std::string(qwtest::BANNER)
        + "YYYY-MM-DD hh:mm:ss  3 items\r\n\r\n"
        + "YYYY-MM-DD hh:mm:ss  id=42\r\n\r\n"
        + "YYYY-MM-DD hh:mm:ss --> 00000000h: 00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F ;\r\n"
        + strIndent + "00000010h: 10 11 12 13 \r\n\r\n"
        + "YYYY-MM-DD hh:mm:ss <-- 00000000d: 00 01 02 03 04 05 06 07 08 09 10 11 12 13 14 15 ;\r\n"
        + strIndent + "00000016d: 16 17 18 19 \r\n\r\n";
    const std::string strPath = LogPath(tOpened, "blackbox.log");
    EXPECT_EQ(strExpected, MaskStamps(ReadFile(strPath)));
    remove(strPath.c_str());
}

TEST(Library, NamesThatLeaveTheDayFolderAreRefused)
{
    ASSERT_TRUE(Factory() != NULL);
    ILogObject* pLog = Factory()(0);
    ASSERT_TRUE(pLog != NULL);
    EXPECT_EQ(0, pLog->Open("..\\escape"));
    EXPECT_EQ(0, pLog->Open("../escape"));
    EXPECT_EQ(0, pLog->Open(std::string(300, 'n').c_str()));
    EXPECT_EQ(1, pLog->WriteLog("nothing open"));
    pLog->Release();
    std::ifstream in((QwHostFolder() + QwSeparator() + "Log" + QwSeparator() + "escape.log").c_str());
    EXPECT_FALSE(in.good());
}

} // namespace
