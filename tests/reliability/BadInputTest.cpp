// Bad input, each case with its expected result: names the unit suites leave
// out (long, dotted, with drive colons, control bytes, characters Windows
// refuses, a double-byte character whose second byte is a backslash), formats
// with many conversions, huge formats or a NULL string, and dumps of odd and
// large sizes, compared against the layout model.
#include "Support.h"

#include "Model.h"

#include <stdio.h>
#include <string.h>

#include <algorithm>

using namespace qwrel;

namespace {

class BadInputTest : public RelTest
{
protected:
    void SetUp()
    {
        RelTest::SetUp();
        SetNow(Utc(2024, 5, 1, 9, 3, 7));
    }
    std::string DayFolder() const { return Day("2024-05-01"); }
    // Opens a fresh object on a fresh log folder; the object stays in m_pLog.
    void OpenFresh()
    {
        Drop();
        RemoveTree(LogRoot());
        m_pLog = CreateLogObject(0);
        ASSERT_TRUE(m_pLog != NULL);
        ASSERT_EQ(TRUE, m_pLog->Open(NULL));
    }
    void Drop()
    {
        if (m_pLog != NULL)
            m_pLog->Release();
        m_pLog = NULL;
    }
    void TearDown()
    {
        Drop();
        RelTest::TearDown();
    }
    // What the open file holds after its banner.
    std::string Written() const { return AfterBanner(ReadWhole(DayFolder() + SEP + "090307.log")); }
    ILogObject* m_pLog = NULL;
};

// The file a name gives where Open succeeds; "" where it must fail. Windows
// drops the dots that end a file name.
struct NameCase
{
    std::string strName;
    std::string strLinux;
    std::string strWindows;     // single-byte code pages
    std::string strWindows932;  // the Japanese code page
};

std::vector<NameCase> NameCases()
{
    const std::string strDbcs = "\x95\x5C";  // a kanji whose second byte is 0x5C, the backslash
    return {
        { std::string(255, 'n'), "", "", "" },
        { std::string(1000, 'n'), "", "", "" },
        { "..", "090307_..", "090307_", "090307_" },
        { ".", "090307_.", "090307_", "090307_" },
        { "C:x", "090307_C:x.log", "", "" },
        { "a\tb\x01", "090307_a\tb\x01.log", "", "" },
        { "line\r\n", "090307_line\r\n.log", "", "" },
        { "a*b?c", "090307_a*b?c.log", "", "" },
        { "a<b>|\"", "090307_a<b>|\".log", "", "" },
        { strDbcs, "", "", "090307_" + strDbcs + ".log" },
        { strDbcs + "x.txt", "", "", "090307_" + strDbcs + "x.txt" },
        // A lead byte with nothing after it: no text of code page 932, so no file.
        { "\x95", "090307_\x95.log", "090307_\x95.log", "" },
    };
}

// A printable form of a name for failure messages.
std::string Shown(const std::string& str)
{
    std::string strOut;
    for (size_t i = 0; i < str.size() && i < 40; ++i) {
        unsigned char c = (unsigned char)str[i];
        if (c < 32 || c > 126) {
            char sz[8];
            snprintf(sz, sizeof(sz), "\\x%02X", c);
            strOut += sz;
        } else
            strOut += (char)c;
    }
    return str.size() > 40 ? strOut + "...(" + std::to_string(str.size()) + " bytes)" : strOut;
}

} // namespace

TEST_F(BadInputTest, NamesOpenTheirFileInTheDayFolderOrNothing)
{
    size_t nCases = 0;
    for (const NameCase& c : NameCases()) {
        const std::string& strExpected =
            !IsWindows() ? c.strLinux : AnsiCodePage() == 932 ? c.strWindows932 : c.strWindows;
        SCOPED_TRACE(Shown(c.strName) + " -> " + (strExpected.empty() ? "refused" : Shown(strExpected)));
        RemoveTree(LogRoot());
        ILogObject* pLog = CreateLogObject(0);
        ASSERT_TRUE(pLog != NULL);
        EXPECT_EQ(strExpected.empty() ? FALSE : TRUE, pLog->Open(c.strName.c_str()));
        EXPECT_EQ(TRUE, pLog->WriteLog("x"));
        std::vector<std::string> files = ListDir(DayFolder());
        EXPECT_EQ(strExpected.empty() ? std::vector<std::string>() : std::vector<std::string>(1, strExpected), files);
        if (!strExpected.empty() && files.size() == 1)
            EXPECT_EQ(BANNER + Entry(START_STAMP, "x"), ReadWhole(DayFolder() + SEP + files[0]));
        EXPECT_EQ(std::vector<std::string>(1, "2024-05-01"), ListDir(LogRoot()));
        EXPECT_EQ(std::vector<std::string>(1, "Log"), ListDir(Host()));
        // A refused name leaves the object as it was: the next Open works.
        pLog->Close();
        EXPECT_EQ(TRUE, pLog->Open(NULL));
        pLog->Release();
        ++nCases;
    }
    Figure("bad input: " + std::to_string(nCases) + " name cases (code page " + std::to_string(AnsiCodePage()) + ")");
}

TEST_F(BadInputTest, FormatsGiveTheirEntryCutAtTheMessageLimit)
{
    const size_t nLimit = MESSAGE_LIMIT;
    const std::string strLong(300, 's'), strHugeFormat(100 * 1024, 'f');
    std::string strMany;
    for (int i = 0; i < 32; ++i)
        strMany += "%d,%x,%u|";
    struct Case
    {
        const char* pszFormat;
        std::string strMessage;
    };
    // Many conversions, each value given: the same 32 numbers three ways.
    std::string strManyExpected;
    for (int i = 0; i < 32; ++i) {
        char sz[64];
        snprintf(sz, sizeof(sz), "%d,%x,%u|", -i, (unsigned)i, (unsigned)(i * 1000));
        strManyExpected += sz;
    }
    std::string strEight = strLong + strLong + strLong + strLong + strLong + strLong + strLong + strLong;
    const Case cases[] = {
        { strMany.c_str(), strManyExpected },
        { "%s%s%s%s%s%s%s%s", strEight.substr(0, nLimit) },
        { strHugeFormat.c_str(), strHugeFormat.substr(0, nLimit) },
        { "[%s]", "[(null)]" },
    };
    size_t nCases = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(Shown(c.pszFormat));
        OpenFresh();
        const char* s = strLong.c_str();
        if (c.pszFormat == strMany.c_str()) {
#define QW_THREE(i) -(i), (unsigned)(i), (unsigned)((i) * 1000)
#define QW_EIGHT(i) QW_THREE(i), QW_THREE(i + 1), QW_THREE(i + 2), QW_THREE(i + 3), QW_THREE(i + 4), QW_THREE(i + 5), QW_THREE(i + 6), QW_THREE(i + 7)
            EXPECT_EQ(TRUE, m_pLog->WriteLog(c.pszFormat, QW_EIGHT(0), QW_EIGHT(8), QW_EIGHT(16), QW_EIGHT(24)));
#undef QW_EIGHT
#undef QW_THREE
        } else if (strcmp(c.pszFormat, "[%s]") == 0) {
            EXPECT_EQ(TRUE, m_pLog->WriteLog(c.pszFormat, (const char*)NULL));
        } else {
            EXPECT_EQ(TRUE, m_pLog->WriteLog(c.pszFormat, s, s, s, s, s, s, s, s));
        }
        EXPECT_EQ(Entry(START_STAMP, c.strMessage), Written());
        EXPECT_TRUE(Reports().empty());
        ++nCases;
    }
    Figure("bad input: " + std::to_string(nCases) + " format cases (message limit " + std::to_string(nLimit) + ")");
}

TEST_F(BadInputTest, DumpsOfOddAndLargeSizesMatchTheLayout)
{
    const unsigned sizes[] = { 15, 4095, 1024 * 1024 };
    std::vector<unsigned char> data(1024 * 1024);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = (unsigned char)(i * 131 + (i >> 8));
    size_t nCases = 0;
    for (unsigned nSize : sizes)
        for (int nHex = 0; nHex < 2; ++nHex) {
            SCOPED_TRACE(std::to_string(nSize) + (nHex ? " hex" : " decimal"));
            OpenFresh();
            EXPECT_EQ(TRUE, m_pLog->WriteHex(&data[0], nSize, nHex == 0, nHex));
            std::string strWritten = Written();
            std::string strModel = DumpEntry(START_STAMP, &data[0], nSize, nHex == 0, nHex != 0);
            EXPECT_EQ(strModel.size(), strWritten.size());
            EXPECT_TRUE(strModel == strWritten) << "first difference at "
                                                << std::mismatch(strModel.begin(), strModel.end(), strWritten.begin()).first - strModel.begin();
            ++nCases;
        }
    Figure("bad input: " + std::to_string(nCases) + " dump size cases, up to 1 MiB");
}
