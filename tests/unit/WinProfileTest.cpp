// The settings object reads a file as the system's reader did before it
// (GetPrivateProfileIntW / StringW): each text of the table, written as a
// file, gives the same values both ways, numbers and strings, the repeated
// section and the encodings included.
#include "Support.h"

#include "Profile.h"
#include "Settings.h"

#include <windows.h>

using namespace qwtest;

namespace {

class WinProfileTest : public QwTest {};

std::wstring Wide(const std::string& str) { return std::wstring(str.begin(), str.end()); }

} // namespace

TEST_F(WinProfileTest, TheParsedTextReadsAsTheSystemsReader)
{
    const std::string strUtf16 = std::string("\xFF\xFE[\0L\0O\0G\0]\0\r\0\n\0A\0=\0""4\0""2\0\r\0\n\0", 26);
    struct { const char* pszWhat; std::string strText; } rows[] = {
        { "plain", "[LOG]\r\nA=1\r\nB=text\r\n" },
        { "a repeated section: the first only", "[LOG]\r\nA=1\r\n[X]\r\nC=3\r\n[LOG]\r\nB=2\r\n" },
        { "a repeated key: the first", "[LOG]\r\nA=1\r\nA=2\r\n" },
        { "hexadecimal, binary, octal", "[LOG]\r\nA=0x10\r\nB=0b11\r\nC=0o17\r\n" },
        { "signs and tails", "[LOG]\r\nA=-5\r\nB=+3\r\nC= 7x \r\n" },
        { "quotes", "[LOG]\r\nA=\"9\"\r\nB='text'\r\n" },
        { "comments", "[LOG]\r\n;A=3\r\nA=4\r\n" },
        { "case and blanks", " [ log ] \r\n a = 8\r\n b = some text \r\n" },
        { "UTF-8 mark", "\xEF\xBB\xBF[LOG]\r\nA=6\r\nB=\xC3\xA9t\xC3\xA9\r\n" },
        { "UTF-16 with its mark", strUtf16 },
        { "past 32 bits", "[LOG]\r\nA=4294967297\r\n" },
        { "LF only", "[LOG]\nA=12\nB=x\n" },
    };
    const char* apszKeys[] = { "A", "B", "C" };
    std::string strPath = m_strTemp + SEP + "table.ini";
    for (const auto& row : rows) {
        SCOPED_TRACE(row.pszWhat);
        WriteWhole(strPath, row.strText);
        WritePrivateProfileStringW(NULL, NULL, NULL, Wide(strPath).c_str());  // no cached copy
        std::string strText, strWhy;
        ASSERT_EQ(QW_SETTINGS_READ, QwReadSettingsFile(strPath, strText, strWhy)) << strWhy;
        CProfile profile(strText, QW_PROFILE_WINDOWS);
        for (const char* pszKey : apszKeys) {
            SCOPED_TRACE(pszKey);
            int nSystem = (int)GetPrivateProfileIntW(L"LOG", Wide(pszKey).c_str(), -99, Wide(strPath).c_str());
            EXPECT_EQ(nSystem, profile.Int("LOG", pszKey, -99));
            wchar_t szValue[256] = { 0 };
            DWORD nLen = GetPrivateProfileStringW(L"LOG", Wide(pszKey).c_str(), L"", szValue, 256, Wide(strPath).c_str());
            int nBytes = WideCharToMultiByte(CP_UTF8, 0, szValue, (int)nLen, NULL, 0, NULL, NULL);
            std::string strSystem((size_t)nBytes, '\0');
            WideCharToMultiByte(CP_UTF8, 0, szValue, (int)nLen, &strSystem[0], nBytes, NULL, NULL);
            std::string strOwn;
            profile.String("LOG", pszKey, strOwn);
            EXPECT_EQ(strSystem, strOwn);
        }
    }
}
