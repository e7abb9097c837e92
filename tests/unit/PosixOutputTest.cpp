// What the Linux build owes its host beyond the bytes of an entry: wide strings
// that the locale cannot encode keep the rest of the message, no descriptor of
// the library reaches a child process, and reports stay out of the host's
// standard error unless QUILLWORK_DEBUG asks for them.
#include "Support.h"

#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <clocale>
#include <string>

using namespace qwtest;

namespace {

class PosixOutputTest : public QwTest {};

// What the debug channel writes to standard error for pszReport, with
// QUILLWORK_DEBUG set (pszDebug not NULL) or not.
std::string DebugOutput(const char* pszDebug, const char* pszReport)
{
    if (pszDebug != NULL)
        setenv("QUILLWORK_DEBUG", pszDebug, 1);
    else
        unsetenv("QUILLWORK_DEBUG");
    char szPath[] = "/tmp/qwstderr.XXXXXX";
    int fd = mkstemp(szPath);
    fflush(stderr);
    int fdSaved = dup(STDERR_FILENO);
    dup2(fd, STDERR_FILENO);
    QwDebugOutput(pszReport);
    fflush(stderr);
    dup2(fdSaved, STDERR_FILENO);
    close(fdSaved);
    close(fd);
    unsetenv("QUILLWORK_DEBUG");
    std::string strText = ReadWhole(szPath);
    unlink(szPath);
    return strText;
}

} // namespace

TEST_F(PosixOutputTest, UnencodableWideCharactersBecomeQuestionMarks)
{
    // The "C" locale encodes ASCII only; vsnprintf fails the whole message there.
    std::string strLocale = setlocale(LC_CTYPE, NULL);
    setlocale(LC_CTYPE, "C");
    struct { std::string strGot, strExpected; } cases[] = {
        { Formatted("a %ls b %d", L"x\u00e9y", 5), "a x?y b 5" },
        { Formatted("[%5ls|%-4lc|%lc]", L"\u65e5z", (wint_t)L'\u00fc', (wint_t)L'k'), "[   ?z|?   |k]" },
        { Formatted("%.2ls%s", L"\u00e9\u00e9\u00e9", "!"), "?" "?!" },
        { Formatted("%ls then %.1f", L"ok", 2.25), "ok then 2.2" },
    };
    setlocale(LC_CTYPE, strLocale.c_str());
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i)
        EXPECT_EQ(cases[i].strExpected, cases[i].strGot) << "case " << i;

    LogPtr log = NewLog();
    ASSERT_EQ(TRUE, log->Open("wide"));
    setlocale(LC_CTYPE, "C");
    log->WriteLog("user %ls logged in (%d)", L"J\u00f6rg", 7);
    setlocale(LC_CTYPE, strLocale.c_str());
    log.reset();
    EXPECT_EQ(BANNER + Entry(START_STAMP, "user J?rg logged in (7)"),
              ReadWhole(Day() + "/090307_wide.log"));
}

TEST_F(PosixOutputTest, AChildProcessHoldsNoDescriptorOfTheLibrary)
{
    LogPtr log = NewLog();
    ASSERT_EQ(TRUE, log->Open("inherit"));
    const unsigned char data[4] = { 1, 2, 3, 4 };
    log->WriteHex(data, 4, TRUE, TRUE);
    std::string strList = Host() + "/fds.txt";
    // The shell that system() starts lists where its own descriptors lead.
    std::string strCommand = "ls -l /proc/$$/fd > '" + strList + "' 2>&1";
    ASSERT_EQ(0, system(strCommand.c_str()));
    std::string strFds = ReadWhole(strList);
    EXPECT_NE(std::string::npos, strFds.find("fds.txt")) << "the listing itself shows";
    EXPECT_EQ(std::string::npos, strFds.find("inherit.log")) << strFds;
}

TEST_F(PosixOutputTest, ReportsReachStandardErrorOnlyWhenAskedFor)
{
    struct { const char* pszDebug; const char* pszReport; std::string strExpected; } cases[] = {
        { NULL, "LogClass\\TxtLog.cpp(12) : assertion failed\n", "" },
        { "1", "LogClass\\TxtLog.cpp(12) : assertion failed\n", "LogClass\\TxtLog.cpp(12) : assertion failed\n" },
        { "1", "trace without a line end", "trace without a line end\n" },
        { "", "set but empty still asks", "set but empty still asks\n" },
    };
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i)
        EXPECT_EQ(cases[i].strExpected, DebugOutput(cases[i].pszDebug, cases[i].pszReport)) << "case " << i;
}
