// CLogFolder: where an object's log files go and how long they stay. It finds
// or makes the log folder and the day folder (beside the host, where [LOG] DIR
// of Quillwork.ini says, or in the per-user folder when neither can be made)
// and cleans old day folders as KEEPDAYS and KEEPMB say.
#ifndef QUILLWORK_LOGFOLDER_H
#define QUILLWORK_LOGFOLDER_H

#include "Platform.h"

#include <atomic>
#include <string>
#include <vector>

class CLogFolder
{
public:
    CLogFolder();

    // Reads DIR, KEEPDAYS and KEEPMB of section [LOG] of the configuration file
    // strIni; missing keys keep the defaults (Log beside the host, keep all).
    void ReadSettings(const std::string& strIni);

    // Finds or makes the log folder and its day folder pszDate for a host in
    // strAppDir whose executable is strExeName (without extension on Windows).
    // Where that fails, the per-user folder with the same layout is used and a
    // trace names it. strLogDir receives the day folder; when the per-user
    // folder fails too, the folder whose creation failed first. TRUE when
    // strLogDir is a day folder that exists.
    BOOL CreateLogDir(const std::string& strAppDir, const std::string& strExeName, const char* pszDate,
                      std::string& strLogDir);

    // Removes the library's old files and the day folders they leave empty, as
    // KEEPDAYS and KEEPMB say; never a file a log object of any process holds
    // open, nothing outside the log folder or on another mount. KEEPDAYS looks
    // only into the day folders its names put before the cut-off, never today's
    // folder nor strOwnDay, never a file written since the cut-off. KEEPMB takes
    // closed files of every day folder, today's and strOwnDay included, oldest
    // first (by day folder and name: the order they were started in) until the
    // library's files fit the cap; its total is made at most once per process,
    // log folder and day here. Silent but for a trace when only files it cannot
    // remove (open) keep the folder over the cap. Called without any object's lock.
    void Clean(const std::string& strOwnDay) const;

    // Clean after an object moved on to a new file (DAILY, MAXFILEMB): the same,
    // with the KEEPMB total made every time.
    void CleanAfterMove(const std::string& strOwnDay) const;

    // Makes the day folder strLogDir again, with the log folder above it, when
    // it has gone since CreateLogDir found or made it (cleaning elsewhere may
    // remove it while it is empty). TRUE when it exists afterwards; FALSE at
    // once when CreateLogDir gave no day folder.
    BOOL MakeDayAgain(const std::string& strLogDir) const;

    // Forgets which log folders had their KEEPMB total today, so that the next
    // Clean makes it again (for tests that rebuild a log folder in one process).
    static void ForgetTotals();

    // Take and give back the process-wide lock of the KEEPMB totals, so that
    // fork() finds it free (CForkGuard). Nothing else is taken while it is held.
    static void HoldTotals();
    static void ReleaseTotals();

    // Finds or makes the day folder pszDate in the log folder in use; strLogDir
    // receives it. TRUE when it exists.
    BOOL MakeDay(const char* pszDate, std::string& strLogDir) const;

    // The log folder in use (set by CreateLogDir).
    const std::string& Root() const { return m_strRoot; }
    int KeepDays() const { return m_nKeepDays; }
    int KeepMb() const { return m_nKeepMb; }
    const std::string& Dir() const { return m_strDir; }

    // TRUE when the folder strPath exists or was made. With bParents, missing
    // folders on the way are made too. A look-up that fails (no access, no
    // memory) counts as a failed creation.
    static BOOL FindDir(const std::string& strPath, BOOL bParents);

private:
    struct CDay
    {
        std::string strName;
        std::vector<QW_ENTRY> files;  // the library's files in it
    };

    BOOL MakeLayout(const std::string& strRoot, BOOL bParents, const char* pszDate, std::string& strLogDir) const;
    void ListDays(std::vector<std::string>& names) const;
    bool ReadDay(const std::string& strName, CDay& day) const;
    unsigned long long CleanDay(CDay& day, time_t tCutOff) const;
    void CleanOldDays(const std::vector<std::string>& names, const std::string& strOwn, const struct tm& tmToday) const;
    void CleanToCap(const std::vector<std::string>& names, const std::string& strOwn, const std::string& strToday) const;
    void CleanNow(const std::string& strOwnDay, bool bEveryTotal) const;
    void ReportCap(unsigned long long nLeft) const;

    std::string m_strDir;   // DIR as configured ("" for Log beside the host)
    std::string m_strRoot;  // the log folder in use
    int m_nKeepDays;
    int m_nKeepMb;
    BOOL m_bDayMade;        // CreateLogDir gave a day folder that existed
    mutable std::atomic<bool> m_bOverCap;  // the last KEEPMB pass left open files over the cap
};

// TRUE when pszName is exactly a date "YYYY-MM-DD" (month 01-12, day 01-31).
bool QwIsDayName(const char* pszName);

// TRUE when pszName is a name the library gives its files: six digits, then
// "~" and four digits where it is a later file of the same second, then ".log",
// or "_" and more.
bool QwIsLibraryFileName(const char* pszName);

#endif
