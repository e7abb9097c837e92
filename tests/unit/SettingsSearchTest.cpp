// Where the settings come from: QUILLWORK_INI (absolute or from the host's
// folder), Quillwork.ini beside the host, the system's file for the host; the
// first that exists is read whole, and one that exists but cannot be read is
// reported and leaves the defaults, the next not read in its place. Each
// location's file sets its own KEEPDAYS, so the object's folder tells which one
// it read. The system folder is the real one (/etc/quillwork, the prefix's
// %ProgramData%\Quillwork): a host name of the test's own, removed afterwards.
#include "Support.h"

#include "Probe.h"
#include "Settings.h"

#include <stdio.h>
#include <stdlib.h>
#include <time.h>

using namespace qwtest;

namespace {

std::string s_strExe;  // the host's path the module-path seam gives

DWORD UniqueHostPath(char* pszPath, DWORD nSize)
{
    snprintf(pszPath, (size_t)nSize, "%s", s_strExe.c_str());
    return (DWORD)s_strExe.size();
}

// How one location is set up for a row.
enum PLACE { ABSENT, PRESENT, UNREADABLE, TOO_LARGE };

class SettingsSearchTest : public QwTest
{
protected:
    void SetUp() override
    {
        QwTest::SetUp();
        char szName[64];
        snprintf(szName, sizeof(szName), "qwsearch-%ld-%ld", (long)time(NULL), (long)rand());
        m_strName = szName;
        s_strExe = Host() + SEP + m_strName + (IsWindows() ? ".exe" : "");
        QwSetModulePath(&UniqueHostPath);
        ASSERT_TRUE(QwSystemSettingsFolder(m_strSystemDir));
        m_bMadeSystemDir = !IsDir(m_strSystemDir) && MakeDir(m_strSystemDir);
        FILE* pProbe = fopen(SystemIni().c_str(), "wb");
        if (pProbe == NULL)
            GTEST_SKIP() << "the system folder " << m_strSystemDir << " takes no file of this user";
        fclose(pProbe);
        RemoveOne(SystemIni());
    }
    void TearDown() override
    {
        SetVariable("QUILLWORK_INI", NULL);
        RemoveTree(SystemIni());
        if (m_bMadeSystemDir)
            RemoveOne(m_strSystemDir);
        QwTest::TearDown();
    }
    std::string SystemIni() const { return m_strSystemDir + SEP + m_strName + ".ini"; }
    std::string BesideIni() const { return Host() + SEP + "Quillwork.ini"; }

    // Puts at strPath what nPlace says: a file setting KEEPDAYS=nDays, a
    // folder (which cannot be read as a file), or a file over 64 KiB.
    static void Place(const std::string& strPath, PLACE nPlace, int nDays)
    {
        RemoveTree(strPath);
        if (nPlace == PRESENT)
            WriteWhole(strPath, "[LOG]\r\nKEEPDAYS=" + std::to_string(nDays) + "\r\n");
        else if (nPlace == UNREADABLE)
            ASSERT_TRUE(MakeDir(strPath));
        else if (nPlace == TOO_LARGE)
            WriteWhole(strPath, "[LOG]\r\nKEEPDAYS=" + std::to_string(nDays) + "\r\n;" + std::string(70000, 'x') + "\r\n");
    }

    std::string m_strName;
    std::string m_strSystemDir;
    bool m_bMadeSystemDir = false;
};

} // namespace

TEST_F(SettingsSearchTest, TheFirstLocationThatExistsIsReadAndAnUnreadableOneEndsTheSearch)
{
    // QUILLWORK_INI: "" unset, "@abs" the absolute path of the variable's file,
    // "@abs-missing" an absolute path where nothing is, else a name from the host's folder.
    struct
    {
        const char* pszWhat;
        const char* pszVariable;
        PLACE nVariable, nBeside, nSystem;
        CSettings::SOURCE nSource;  // where the settings in force come from
        int nKeepDays;              // 11 variable, 22 beside, 33 system, 0 defaults
        const char* pszReport;      // a word the one report holds; "" for no report
    } rows[] = {
        { "nothing anywhere", "", ABSENT, ABSENT, ABSENT, CSettings::FROM_NONE, 0, "" },
        { "beside only", "", ABSENT, PRESENT, ABSENT, CSettings::FROM_BESIDE, 22, "" },
        { "system only", "", ABSENT, ABSENT, PRESENT, CSettings::FROM_SYSTEM, 33, "" },
        { "beside before system", "", ABSENT, PRESENT, PRESENT, CSettings::FROM_BESIDE, 22, "" },
        { "variable absolute before all", "@abs", PRESENT, PRESENT, PRESENT, CSettings::FROM_VARIABLE, 11, "" },
        { "variable relative: the host's folder", "my.ini", PRESENT, PRESENT, ABSENT, CSettings::FROM_VARIABLE, 11, "" },
        { "variable relative with a folder", "conf/q.ini", PRESENT, PRESENT, ABSENT, CSettings::FROM_VARIABLE, 11, "" },
        { "variable names nothing: beside", "@abs-missing", ABSENT, PRESENT, PRESENT, CSettings::FROM_BESIDE, 22,
          "does not exist" },
        { "variable names nothing, nothing beside: system", "gone.ini", ABSENT, ABSENT, PRESENT,
          CSettings::FROM_SYSTEM, 33, "does not exist" },
        { "variable unreadable: defaults, beside not read", "@abs", UNREADABLE, PRESENT, PRESENT,
          CSettings::FROM_VARIABLE, 0, "a folder" },
        { "beside unreadable: defaults, system not read", "", ABSENT, UNREADABLE, PRESENT, CSettings::FROM_BESIDE, 0,
          "a folder" },
        { "beside over 64 KiB: defaults, system not read", "", ABSENT, TOO_LARGE, PRESENT, CSettings::FROM_BESIDE, 0,
          "64 KiB" },
        { "system unreadable: defaults", "", ABSENT, ABSENT, UNREADABLE, CSettings::FROM_SYSTEM, 0, "a folder" },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.pszWhat);
        std::string strVariable = row.pszVariable;
        std::string strVarPath;
        if (strVariable == "@abs")
            strVariable = strVarPath = m_strTemp + SEP + "chosen.ini";
        else if (strVariable == "@abs-missing")
            strVariable = m_strTemp + SEP + "nowhere.ini";
        else if (!strVariable.empty()) {
            strVarPath = Host() + SEP + strVariable;
            ASSERT_TRUE(MakeDir(Host() + SEP + "conf") || IsDir(Host() + SEP + "conf"));
        }
        if (!strVarPath.empty())
            Place(strVarPath, row.nVariable, 11);
        SetVariable("QUILLWORK_INI", strVariable.empty() ? NULL : strVariable.c_str());
        Place(BesideIni(), row.nBeside, 22);
        Place(SystemIni(), row.nSystem, 33);
        ClearReports();

        LogPtr log = NewLog();
        ASSERT_TRUE(log.get() != NULL);
        EXPECT_EQ(row.nKeepDays, CTxtLogProbe::Folder(log.get()).KeepDays());
        std::vector<std::string> reports = Reports();
        if (row.pszReport[0] == '\0') {
            EXPECT_TRUE(reports.empty()) << reports[0];
        } else {
            ASSERT_EQ(1u, reports.size());
            EXPECT_NE(std::string::npos, reports[0].find(row.pszReport)) << reports[0];
        }

        // The settings object on its own agrees, and names the file in force.
        CSettings settings;
        std::string strExeName = m_strName;
        settings.Load(Host(), strExeName);
        EXPECT_EQ(row.nSource, settings.Source());
        EXPECT_EQ(row.nKeepDays, settings.Int("LOG", "KEEPDAYS", 0));
        const std::string astrPaths[] = { "", strVarPath, BesideIni(), SystemIni() };
        std::string strExpected = astrPaths[row.nSource];
        EXPECT_EQ(strExpected, settings.Path());
        // The report names the file it is about: the one QUILLWORK_INI names where
        // nothing is, or the one that cannot be read.
        std::string strMissing = QwIsAbsolutePath(strVariable) ? strVariable : Host() + SEP + strVariable;
        bool bMissing = std::string(row.pszReport) == "does not exist";
        if (!reports.empty())
            EXPECT_NE(std::string::npos, reports[0].find((bMissing ? strMissing : strExpected) + (bMissing ? "," : " ("))) << reports[0];

        log.reset();
        SetVariable("QUILLWORK_INI", NULL);
        if (!strVarPath.empty())
            RemoveTree(strVarPath);
    }
}

TEST_F(SettingsSearchTest, EveryPartTakesItsKeysFromTheFileTheSearchFound)
{
    // Every key of every part, from the one file the search found.
    WriteWhole(SystemIni(), "[CONSOLE]\r\nOPEN=1\r\n[LOG]\r\nDIR=sys-logs\r\nKEEPDAYS=5\r\nKEEPMB=7\r\nSYNC=1\r\n"
                            "ECHO=1\r\nDAILY=1\r\nMAXFILEMB=3\r\nSTAMP=ms\r\nTHREAD=1\r\n");
    LogPtr log = NewLog();
    ASSERT_TRUE(log.get() != NULL);
    EXPECT_EQ(TRUE, CTxtLogProbe::Console(log.get()));
    EXPECT_EQ(5, CTxtLogProbe::Folder(log.get()).KeepDays());
    EXPECT_EQ(7, CTxtLogProbe::Folder(log.get()).KeepMb());
    EXPECT_EQ("sys-logs", CTxtLogProbe::Folder(log.get()).Dir());
    EXPECT_TRUE(IsDir(Host() + SEP + "sys-logs")) << "DIR is taken from the host's folder, wherever the file is";
}
