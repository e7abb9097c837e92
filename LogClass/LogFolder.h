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

class CSettings;

class CLogFolder
{
public:
    CLogFolder();

    // Takes DIR, KEEPDAYS and KEEPMB of section [LOG] from settings; missing
    // keys keep the defaults (Log beside the host, keep all).
    void ReadSettings(const CSettings& settings);

    // Finds or makes the log folder and its day folder pszDate for a host in
    // strAppDir whose executable is strExeName (without extension on Windows).
    // Where that fails, the per-user folder with the same layout is used; a
    // trace names the folder that failed, the system's reason and where the
    // logs go instead (or why they cannot go to the per-user folder either). strLogDir receives the day folder; when the per-user
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
    // Opens strPath of the day folder strLogDir for appending. An empty day
    // folder may have been cleaned away by another object or process since
    // construction: it is made again (the day stays the one CreateLogDir fixed),
    // a few times over should cleaning elsewhere take it again in between. NULL
    // on failure, reported with its reason.
    FILE* OpenInDay(const std::string& strLogDir, const std::string& strPath) const;

    // While pMade is set, every folder this thread's folder work makes is added
    // to it (qwlog where takes back what it made); NULL stops the recording.
    static void RecordMadeFolders(std::vector<std::string>* pMade);

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
    // memory) counts as a failed creation. On failure *pstrWhy, when given,
    // names the folder that could not be found or made and the system's reason.
    static BOOL FindDir(const std::string& strPath, BOOL bParents, std::string* pstrWhy = NULL);

private:
    struct CDay
    {
        std::string strName;
        std::vector<QW_ENTRY> files;  // the library's files in it
    };

    BOOL MakeLayout(const std::string& strRoot, BOOL bParents, const char* pszDate, std::string& strLogDir,
                    std::string& strWhy) const;
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

// The folder that holds strPath: up to its last separator, a root ("/", "D:\\")
// keeping its own; "" when strPath is a root or a bare name.
std::string QwHoldingFolder(const std::string& strPath);

// True when pszName would leave the day folder: it holds a path separator
// ('\\' or '/') or, on Windows, a drive colon.
bool QwNameLeavesFolder(const char* pszName);

// Reports, through the trace, that strPath could not be opened and why; that it
// was opened but did not take its banner (a full disk); that Open refused
// pszName, which would leave the day folder strLogDir or is not text of the
// code page. Nothing without the memory for it.
void QwReportRefused(const std::string& strPath, const std::string& strWhy);
void QwReportNoRoom(const std::string& strPath, const std::string& strWhy);
void QwReportBadName(const char* pszName, const std::string& strLogDir);

// TRUE when pszName is exactly a date "YYYY-MM-DD" (month 01-12, day 01-31).
bool QwIsDayName(const char* pszName);

// TRUE when pszName is a name the library gives its files: six digits, then
// "~" and four digits where it is a later file of the same second, then ".log",
// or "_" and more.
bool QwIsLibraryFileName(const char* pszName);

#endif
