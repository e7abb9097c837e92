// Every refusal of Open and every fallback of the folder work is traced with
// the name, file or folder concerned and the system's reason; Open still
// returns FALSE. (The full disk is the reliability suite's: it needs a mount.)
#include "Support.h"

#include "Probe.h"

#include <filesystem>

using namespace qwtest;
namespace fs = std::filesystem;

namespace {

class OpenFailureTest : public QwTest {};

} // namespace

TEST_F(OpenFailureTest, ARefusedNameIsTracedWithTheNameTheFolderAndWhy)
{
    struct { const char* pszName; const char* pszWhy; } rows[] = {
        { "sub/name", "path separator" },
        { "..\\up", "path separator" },
        { "/etc/passwd", "path separator" },
    };
    LogPtr log = NewLog();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.pszName);
        ClearReports();
        EXPECT_EQ(FALSE, log->Open(row.pszName));
        std::vector<std::string> reports = Reports();
        ASSERT_EQ(1u, reports.size());
        EXPECT_NE(std::string::npos, reports[0].find(std::string("cannot open \"") + row.pszName + "\" in " + Day()))
            << reports[0];
        EXPECT_NE(std::string::npos, reports[0].find(row.pszWhy)) << reports[0];
    }
    EXPECT_EQ(std::vector<std::string>(), ListDir(Day())) << "nothing made";
}

TEST_F(OpenFailureTest, ALinkAtTheNameIsTracedWithThePathAndWhy)
{
    if (IsWindows())
        GTEST_SKIP() << "making a link needs a privilege on Windows";
    LogPtr log = NewLog();
    std::string strTarget = m_strTemp + SEP + "target";
    WriteWhole(strTarget, "keep");
    std::error_code ec;
    fs::create_symlink(strTarget, Day() + SEP + "090307_Linked.log", ec);
    ASSERT_FALSE(ec) << ec.message();
    ClearReports();
    EXPECT_EQ(FALSE, log->Open("Linked"));
    std::vector<std::string> reports = Reports();
    ASSERT_EQ(1u, reports.size());
    EXPECT_NE(std::string::npos, reports[0].find("cannot open " + Day() + SEP + "090307_Linked.log (a link is at its name"))
        << reports[0];
    EXPECT_EQ("keep", ReadWhole(strTarget));
}

TEST_F(OpenFailureTest, AFolderThatCannotBeMadeIsNamedWithWhyAndWhereTheLogsGo)
{
    if (IsWindows())
        GTEST_SKIP() << "/proc is POSIX's";
    WriteWhole(Host() + SEP + "Quillwork.ini", "[LOG]\nDIR=/proc/no/such\n");
    ClearReports();
    LogPtr log = NewLog();
    std::vector<std::string> reports = Reports();
    ASSERT_EQ(1u, reports.size());
    // /proc takes no new folder: the first one missing on the way is named.
    EXPECT_NE(std::string::npos, reports[0].find("cannot make the log folder /proc/no (No such file or directory)"))
        << reports[0];
    EXPECT_NE(std::string::npos, reports[0].find("logs go to the per-user folder " + PerUserDay())) << reports[0];
    EXPECT_EQ(PerUserDay(), CTxtLogProbe::LogDir(log.get()));
    EXPECT_EQ(TRUE, log->Open("moved"));
}
