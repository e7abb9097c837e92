// CLogFolder: the log and day folders, the per-user fallback and retention.
#include "LogFolder.h"

#include "Framework.h"
#include "Settings.h"

#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <exception>
#include <mutex>
#include <set>

namespace {

const unsigned long long MIB = 1024ULL * 1024ULL;

// The folder that holds strPath: the text before its last separator; "" at a root.
std::string ParentOf(const std::string& strPath)
{
    std::string::size_type nSep = strPath.find_last_of(QW_PATH_SEP == '\\' ? "\\/" : "/");
    if (nSep == std::string::npos || nSep == 0 || (nSep == 2 && strPath[1] == ':'))
        return std::string();
    return strPath.substr(0, nSep);
}

// strPath without separators at its end (a root keeps its own).
std::string WithoutTrailingSeparators(std::string strPath)
{
    while (strPath.size() > 1 && (strPath[strPath.size() - 1] == QW_PATH_SEP || strPath[strPath.size() - 1] == '/')
           && !(strPath.size() == 3 && strPath[1] == ':'))
        strPath.erase(strPath.size() - 1);
    return strPath;
}

// Sends one trace line; without the memory for it, nothing.
void Trace(const std::string& strText)
{
    try {
        QwReport(("Quillwork: " + strText + "\n").c_str());
    } catch (const std::exception&) {
    }
}

// Sets *pstrWhy (when given) to "<folder> (<reason>)"; FALSE.
BOOL Failed(std::string* pstrWhy, const std::string& strPath, const std::string& strReason)
{
    if (pstrWhy != NULL)
        *pstrWhy = strPath + " (" + strReason + ")";
    return FALSE;
}

// The folders this thread's folder work makes are added here while it is set.
thread_local std::vector<std::string>* s_pMade = NULL;

// Makes strPath (QwMakeFolder), noting it where the thread records what it makes.
BOOL MakeFolder(const std::string& strPath)
{
    if (!QwMakeFolder(strPath))
        return FALSE;
    if (s_pMade != NULL)
        s_pMade->push_back(strPath);
    return TRUE;
}

// A configured count: n > 0 as read, anything else 0 (no limit).
int PositiveOrZero(int n) { return n > 0 ? n : 0; }

// Midnight that begins the local day nDays after tmDay (negative: before it).
time_t StartOfDay(const struct tm& tmDay, int nDays)
{
    struct tm tmStart = tmDay;
    tmStart.tm_hour = 0;
    tmStart.tm_min = 0;
    tmStart.tm_sec = 0;
    tmStart.tm_mday += nDays;
    tmStart.tm_isdst = -1;
    return mktime(&tmStart);
}

// The "YYYY-MM-DD" name of the local day of tWhen; "" when it cannot be read.
std::string DayNameOf(time_t tWhen)
{
    struct tm tmDay;
    memset(&tmDay, 0, sizeof(tmDay));
    char szDay[20] = { 0 };
    if (!QwLocalTime(&tWhen, &tmDay) || strftime(szDay, sizeof(szDay), "%Y-%m-%d", &tmDay) == 0)
        return std::string();
    return szDay;
}

// The log folders (each with the day) whose KEEPMB total this process has made.
std::mutex s_mtxTotals;
std::set<std::string> s_totalsMade;

// TRUE the first time it is asked for strRoot on day strToday in this process.
bool FirstTotalOfTheDay(const std::string& strRoot, const std::string& strToday)
{
    std::lock_guard<std::mutex> lock(s_mtxTotals);
    return s_totalsMade.insert(strToday + QW_PATH_SEP_STR + strRoot).second;
}

} // namespace

bool QwIsDayName(const char* pszName)
{
    static const char s_szShape[] = "dddd-dd-dd";
    if (pszName == NULL || strlen(pszName) != sizeof(s_szShape) - 1)
        return false;
    for (size_t i = 0; i < sizeof(s_szShape) - 1; ++i) {
        bool bDigit = pszName[i] >= '0' && pszName[i] <= '9';
        if (s_szShape[i] == 'd' ? !bDigit : pszName[i] != '-')
            return false;
    }
    int nMonth = (pszName[5] - '0') * 10 + (pszName[6] - '0');
    int nDay = (pszName[8] - '0') * 10 + (pszName[9] - '0');
    return nMonth >= 1 && nMonth <= 12 && nDay >= 1 && nDay <= 31;
}

bool QwIsLibraryFileName(const char* pszName)
{
    if (pszName == NULL)
        return false;
    for (int i = 0; i < 6; ++i)
        if (pszName[i] < '0' || pszName[i] > '9')
            return false;
    const char* pszRest = pszName + 6;
    if (pszRest[0] == '~') {
        // A later file of the same second: four digits of sequence.
        for (int i = 1; i <= 4; ++i)
            if (pszRest[i] < '0' || pszRest[i] > '9')
                return false;
        pszRest += 5;
    }
    return strcmp(pszRest, ".log") == 0 || pszRest[0] == '_';
}

CLogFolder::CLogFolder()
    : m_nKeepDays(0)
    , m_nKeepMb(0)
    , m_bDayMade(FALSE)
    , m_bOverCap(false)
{
}

void CLogFolder::RecordMadeFolders(std::vector<std::string>* pMade) { s_pMade = pMade; }

void CLogFolder::ForgetTotals()
{
    std::lock_guard<std::mutex> lock(s_mtxTotals);
    s_totalsMade.clear();
}

void CLogFolder::HoldTotals() { s_mtxTotals.lock(); }

void CLogFolder::ReleaseTotals() { s_mtxTotals.unlock(); }

BOOL CLogFolder::MakeDayAgain(const std::string& strLogDir) const
{
    if (!m_bDayMade)
        return FALSE;
    QW_FOUND nFound = QwFindFolder(strLogDir);
    if (nFound != QW_FOUND_NONE)
        return nFound == QW_FOUND_DIR ? TRUE : FALSE;
    return FindDir(m_strRoot, FALSE) && FindDir(strLogDir, FALSE);
}

void CLogFolder::ReadSettings(const CSettings& settings)
{
    std::string strDir;
    if (settings.String("LOG", "DIR", strDir))
        m_strDir = WithoutTrailingSeparators(strDir);
    m_nKeepDays = PositiveOrZero(settings.Int("LOG", "KEEPDAYS", 0));
    m_nKeepMb = PositiveOrZero(settings.Int("LOG", "KEEPMB", 0));
}

BOOL CLogFolder::FindDir(const std::string& strPath, BOOL bParents, std::string* pstrWhy)
{
    QW_FOUND nFound = QwFindFolder(strPath);
    if (nFound == QW_FOUND_ERROR)
        return Failed(pstrWhy, strPath, QwLastErrorText());
    if (nFound == QW_FOUND_DIR || MakeFolder(strPath))
        return TRUE;
    std::string strReason = QwLastErrorText();
    if (bParents) {
        std::string strParent = ParentOf(strPath);
        if (!strParent.empty() && QwFindFolder(strParent) == QW_FOUND_NONE) {
            if (!FindDir(strParent, TRUE, pstrWhy))
                return FALSE;
            if (MakeFolder(strPath))
                return TRUE;
            strReason = QwLastErrorText();
        }
    }
    // Another object or process may have made it a moment before.
    if (QwFindFolder(strPath) == QW_FOUND_DIR)
        return TRUE;
    return Failed(pstrWhy, strPath, strReason);
}

// Finds or makes strRoot and its day folder; strLogDir as the folder table says.
BOOL CLogFolder::MakeLayout(const std::string& strRoot, BOOL bParents, const char* pszDate, std::string& strLogDir,
                            std::string& strWhy) const
{
    strLogDir = strRoot;
    if (!FindDir(strRoot, bParents, &strWhy))
        return FALSE;
    strLogDir = strRoot + QW_PATH_SEP_STR + pszDate;
    return FindDir(strLogDir, FALSE, &strWhy);
}

BOOL CLogFolder::CreateLogDir(const std::string& strAppDir, const std::string& strExeName, const char* pszDate,
                              std::string& strLogDir)
{
    BOOL bConfigured = !m_strDir.empty();
    if (!bConfigured)
        m_strRoot = strAppDir + QW_PATH_SEP_STR + "Log";
    else if (QwIsAbsolutePath(m_strDir))
        m_strRoot = m_strDir;
    else
        m_strRoot = strAppDir + QW_PATH_SEP_STR + m_strDir;
    std::string strWhy, strUserWhy;
    m_bDayMade = MakeLayout(m_strRoot, bConfigured, pszDate, strLogDir, strWhy);
    if (m_bDayMade)
        return TRUE;

    std::string strUser, strUserDay;
    if (strExeName.empty() || !QwUserStateFolder(strUser)) {
        Trace("cannot make the log folder " + strWhy + ", and there is no per-user folder ("
              + (strExeName.empty() ? "the host has no name" : "the environment names none") + "): no file can be opened");
        return FALSE;
    }
    std::string strUserRoot = strUser + QW_PATH_SEP_STR + strExeName + QW_PATH_SEP_STR + "Log";
    if (!MakeLayout(strUserRoot, TRUE, pszDate, strUserDay, strUserWhy)) {
        Trace("cannot make the log folder " + strWhy + ", nor the per-user folder " + strUserWhy
              + ": no file can be opened");
        return FALSE;
    }
    m_strRoot = strUserRoot;
    strLogDir = strUserDay;
    m_bDayMade = TRUE;
    Trace("cannot make the log folder " + strWhy + "; logs go to the per-user folder " + strLogDir);
    return TRUE;
}

// The names of the day folders of the log folder, oldest first. Links and
// folders of another mount are never listed as folders.
void CLogFolder::ListDays(std::vector<std::string>& names) const
{
    std::vector<QW_ENTRY> entries;
    if (!QwListFolder(m_strRoot, FALSE, entries))
        return;
    for (size_t i = 0; i < entries.size(); ++i)
        if (entries[i].nKind == QW_ENTRY::FOLDER_ENTRY && QwIsDayName(entries[i].strName.c_str()))
            names.push_back(entries[i].strName);
    std::sort(names.begin(), names.end());
}

// The library's files in day folder strName. FALSE when it cannot be listed.
bool CLogFolder::ReadDay(const std::string& strName, CDay& day) const
{
    std::vector<QW_ENTRY> inDay;
    if (!QwListFolder(m_strRoot + QW_PATH_SEP_STR + strName, TRUE, inDay))
        return false;
    day.strName = strName;
    day.files.clear();
    for (size_t j = 0; j < inDay.size(); ++j)
        if (inDay[j].nKind == QW_ENTRY::FILE_ENTRY && QwIsLibraryFileName(inDay[j].strName.c_str()))
            day.files.push_back(inDay[j]);
    return true;
}

// Removes the library's files of day written before tCutOff, then the folder
// when it is empty. Gives the bytes removed; what was removed leaves day.files.
unsigned long long CLogFolder::CleanDay(CDay& day, time_t tCutOff) const
{
    unsigned long long nRemoved = 0;
    std::vector<QW_ENTRY> kept;
    for (size_t i = 0; i < day.files.size(); ++i) {
        const QW_ENTRY& file = day.files[i];
        if (file.tWritten < tCutOff && QwRemoveFileIn(m_strRoot, day.strName, file.strName))
            nRemoved += file.nSize;
        else
            kept.push_back(file);
    }
    day.files.swap(kept);
    if (day.files.empty())
        QwRemoveEmptyFolderIn(m_strRoot, day.strName);  // fails, silently, while anything else is in it
    return nRemoved;
}

void CLogFolder::Clean(const std::string& strOwnDay) const
{
    if ((m_nKeepDays <= 0 && m_nKeepMb <= 0) || m_strRoot.empty())
        return;
    try {
        CleanNow(strOwnDay, false);
    } catch (const std::exception&) {
        // Out of memory while cleaning: what is left stays for the next time.
        // (Nothing else is caught: a thread's cancellation unwinds on.)
    }
}

void CLogFolder::CleanAfterMove(const std::string& strOwnDay) const
{
    if ((m_nKeepDays <= 0 && m_nKeepMb <= 0) || m_strRoot.empty())
        return;
    try {
        CleanNow(strOwnDay, true);
    } catch (const std::exception&) {
        // Out of memory: what is left stays for the next move.
    }
}

// KEEPDAYS: today and the KEEPDAYS - 1 days before it stay; only the folders
// whose names come before that are listed.
void CLogFolder::CleanOldDays(const std::vector<std::string>& names, const std::string& strOwn,
                              const struct tm& tmToday) const
{
    const time_t tKeepFrom = StartOfDay(tmToday, 1 - m_nKeepDays);
    const std::string strKeepFrom = DayNameOf(tKeepFrom);
    if (tKeepFrom == (time_t)-1 || strKeepFrom.empty())
        return;
    CDay day;
    for (size_t i = 0; i < names.size() && names[i] < strKeepFrom; ++i)
        if (names[i] != strOwn && ReadDay(names[i], day))
            CleanDay(day, tKeepFrom);
}

// KEEPMB: the library's files of every day folder go, oldest first (day folder,
// then name), until their total fits the cap. A file that cannot go (held open
// by an object of any process, no permission) is passed by and the next one
// tried. Day folders left empty go too, but today's and strOwn.
void CLogFolder::CleanToCap(const std::vector<std::string>& names, const std::string& strOwn,
                            const std::string& strToday) const
{
    std::vector<CDay> days;
    unsigned long long nTotal = 0;
    for (size_t i = 0; i < names.size(); ++i) {
        days.push_back(CDay());
        if (!ReadDay(names[i], days.back())) {
            days.pop_back();
            continue;
        }
        CDay& day = days.back();
        std::sort(day.files.begin(), day.files.end(),
                  [](const QW_ENTRY& a, const QW_ENTRY& b) { return a.strName < b.strName; });
        for (size_t j = 0; j < day.files.size(); ++j)
            nTotal += day.files[j].nSize;
    }
    const unsigned long long nCap = (unsigned long long)m_nKeepMb * MIB;
    for (size_t i = 0; i < days.size() && nTotal > nCap; ++i) {
        CDay& day = days[i];
        size_t nKept = 0;
        for (size_t j = 0; j < day.files.size(); ++j) {
            if (nTotal > nCap && QwRemoveFileIn(m_strRoot, day.strName, day.files[j].strName))
                nTotal -= day.files[j].nSize;
            else
                ++nKept;
        }
        if (nKept == 0 && day.strName != strToday && day.strName != strOwn)
            QwRemoveEmptyFolderIn(m_strRoot, day.strName);  // fails, silently, while anything else is in it
    }
    ReportCap(nTotal > nCap ? nTotal : 0);
}

// Traces, once each time it comes about, that KEEPMB left the log folder over its
// cap (nLeft bytes, 0: within it) because what is left cannot be removed.
void CLogFolder::ReportCap(unsigned long long nLeft) const
{
    if (m_bOverCap.exchange(nLeft != 0) || nLeft == 0)
        return;
    char szText[160] = { 0 };
    snprintf(szText, sizeof(szText), "Quillwork: KEEPMB=%d: %.1f MiB of logs are left in ", m_nKeepMb,
             (double)nLeft / (double)MIB);
    QwReport((szText + m_strRoot + "; every file left is open (or cannot be removed)\n").c_str());
}

void CLogFolder::CleanNow(const std::string& strOwnDay, bool bEveryTotal) const
{
    time_t tNow = QwTime();
    struct tm tmToday;
    memset(&tmToday, 0, sizeof(tmToday));
    if (!QwLocalTime(&tNow, &tmToday))
        return;
    const std::string strToday = DayNameOf(tNow);
    std::string strOwn;
    if (strOwnDay.size() > m_strRoot.size() && strOwnDay.compare(0, m_strRoot.size(), m_strRoot) == 0)
        strOwn = strOwnDay.substr(m_strRoot.size() + 1);
    if (strToday.empty())
        return;

    std::vector<std::string> names;
    ListDays(names);
    if (m_nKeepDays > 0)
        CleanOldDays(names, strOwn, tmToday);
    if (m_nKeepMb > 0 && (FirstTotalOfTheDay(m_strRoot, strToday) || bEveryTotal)) {
        if (m_nKeepDays > 0) {
            names.clear();
            ListDays(names);  // without the days KEEPDAYS took
        }
        CleanToCap(names, strOwn, strToday);
    }
}

BOOL CLogFolder::MakeDay(const char* pszDate, std::string& strLogDir) const
{
    std::string strDay, strWhy;
    if (m_strRoot.empty() || !MakeLayout(m_strRoot, !m_strDir.empty(), pszDate, strDay, strWhy))
        return FALSE;
    strLogDir = strDay;
    return TRUE;
}


// ---- opening a file in the day folder -----------------------------------------

FILE* CLogFolder::OpenInDay(const std::string& strLogDir, const std::string& strPath) const
{
    std::string strWhy;
    FILE* pFile = QwOpenAppend(strPath.c_str(), &strWhy);
    for (int i = 0; i < 3 && pFile == NULL && QwFindFolder(strLogDir) == QW_FOUND_NONE; ++i)
        if (MakeDayAgain(strLogDir))
            pFile = QwOpenAppend(strPath.c_str(), &strWhy);
    if (pFile == NULL)
        QwReportRefused(strPath, strWhy.empty() ? "no day folder" : strWhy);
    return pFile;
}

std::string QwHoldingFolder(const std::string& strPath)
{
    std::string::size_type nSep = strPath.find_last_of(QW_PATH_SEP == '\\' ? "\\/" : "/");
    if (nSep == std::string::npos || nSep + 1 == strPath.size())
        return std::string();
    bool bRoot = nSep == 0 || (QW_DRIVE_COLON && nSep == 2 && strPath[1] == ':');
    return strPath.substr(0, bRoot ? nSep + 1 : nSep);
}

bool QwNameLeavesFolder(const char* pszName)
{
    if (QwFindChar(pszName, '\\') != NULL || QwFindChar(pszName, '/') != NULL)
        return true;
    return QW_DRIVE_COLON && QwFindChar(pszName, ':') != NULL;
}

void QwReportRefused(const std::string& strPath, const std::string& strWhy)
{
    try {
        QwReport(("Quillwork: cannot open " + strPath + " (" + strWhy + ")\n").c_str());
    } catch (const std::exception&) {
    }
}

void QwReportNoRoom(const std::string& strPath, const std::string& strWhy)
{
    try {
        QwReport(("Quillwork: opened " + strPath + ", but its banner could not be written (" + strWhy + ")\n").c_str());
    } catch (const std::exception&) {
    }
}

void QwReportBadName(const char* pszName, const std::string& strLogDir)
{
    try {
        std::string strWhy = QwNameLeavesFolder(pszName) ? "a name with a path separator or drive would leave the day folder"
                                                         : "the name is not text of the code page";
        QwReport(("Quillwork: cannot open \"" + std::string(pszName) + "\" in " + strLogDir + " (" + strWhy + ")\n").c_str());
    } catch (const std::exception&) {
    }
}
