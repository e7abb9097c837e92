// CRollOver: the decision to move on to a new log file, and the files left behind.
#include "RollOver.h"

#include "Settings.h"

#include <string.h>

#include <algorithm>

namespace {

const unsigned long long MIB = 1024ULL * 1024ULL;
const size_t CLOSED_KEPT = 4096;  // names remembered per day folder at most

// TRUE when strDir is a folder named strDay (its last path component).
bool IsFolderOfDay(const std::string& strDir, const std::string& strDay)
{
    return strDir.size() > strDay.size() && strDir.compare(strDir.size() - strDay.size(), strDay.size(), strDay) == 0
           && (strDir[strDir.size() - strDay.size() - 1] == QW_PATH_SEP || strDir[strDir.size() - strDay.size() - 1] == '/');
}

// The file name of strPath (after its folder strDir and the separator).
std::string NameIn(const std::string& strDir, const std::string& strPath)
{
    return strPath.size() > strDir.size() + 1 ? strPath.substr(strDir.size() + 1) : std::string();
}

} // namespace

CRollOver::CRollOver()
    : m_bDaily(false)
    , m_nMaxFileMb(0)
    , m_nSize(~0ULL)
    , m_nSinceSize(0)
    , m_tFailed(0)
    , m_bFailed(false)
    , m_tDay(0)
{
}

void CRollOver::ReadSettings(const CSettings& settings)
{
    m_bDaily = settings.Flag("LOG", "DAILY") == TRUE;
    int nMaxFileMb = settings.Int("LOG", "MAXFILEMB", 0);
    m_nMaxFileMb = nMaxFileMb >= 1 ? nMaxFileMb : 0;
}

void CRollOver::Opening(const std::string& strDir, const std::string& strPath, const std::string& strTail)
{
    m_strDir = strDir;
    m_strPath = strPath;
    m_strTail = strTail;
    m_bFailed = false;
    m_nSize = ~0ULL;
}

// TRUE when the file being written holds MAXFILEMB MiB or more. Its size is
// asked for when the bytes counted since the last answer could have reached the
// limit, and at least every sixteenth of the limit (other writers of the file
// add their bytes too).
bool CRollOver::Full(FILE* pFile)
{
    if (m_nMaxFileMb <= 0)
        return false;
    const unsigned long long nLimit = (unsigned long long)m_nMaxFileMb * MIB;
    if (m_nSize != ~0ULL && m_nSize + m_nSinceSize < nLimit && m_nSinceSize < nLimit / 16)
        return false;
    m_nSize = QwFileSize(pFile);
    m_nSinceSize = 0;
    return m_nSize >= nLimit;
}

// The local date of tNow as "YYYY-MM-DD" into strDay, made again only when the
// second changes. FALSE when tNow has no local time.
bool CRollOver::DayOf(time_t tNow, std::string& strDay)
{
    if (tNow != m_tDay || m_strDay.empty()) {
        struct tm tmNow;
        memset(&tmNow, 0, sizeof(tmNow));
        char szDay[20] = { 0 };
        if (!QwLocalTime(&tNow, &tmNow) || strftime(szDay, sizeof(szDay), "%Y-%m-%d %H%M%S", &tmNow) != 17)
            return false;
        m_strDay = szDay;
        m_tDay = tNow;
    }
    strDay = m_strDay.substr(0, 10);
    return true;
}

void CRollOver::FollowDay(time_t tNow, const CLogFolder& folder, std::string& strDir)
{
    std::string strDay, strNew;
    if (m_bDaily && DayOf(tNow, strDay) && !IsFolderOfDay(strDir, strDay) && folder.MakeDay(strDay.c_str(), strNew))
        strDir = strNew;
}

bool CRollOver::Due(time_t tNow, FILE* pFile, const CLogFolder& folder, std::string& strDir, std::string& strPath)
{
    std::string strDay;
    if (!Enabled() || pFile == NULL || m_strPath.empty() || (m_bFailed && tNow == m_tFailed) || !DayOf(tNow, strDay))
        return false;
    const bool bNewDay = m_bDaily && !IsFolderOfDay(m_strDir, strDay);
    if (!bNewDay && !Full(pFile))
        return false;
    strDir = m_strDir;
    if (bNewDay && !folder.MakeDay(strDay.c_str(), strDir)) {
        Moved(false, tNow, strDir, strPath);
        return false;
    }
    strPath = strDir + QW_PATH_SEP_STR + m_strDay.substr(11) + m_strTail;
    return strPath != m_strPath;
}

void CRollOver::Moved(bool bDone, time_t tNow, const std::string& strDir, const std::string& strPath)
{
    m_bFailed = !bDone;
    m_tFailed = tNow;
    if (!bDone)
        return;
    if (strDir != m_strClosedDir) {
        m_closed.clear();
        m_strClosedDir = strDir;
    }
    if (strDir == m_strDir && m_closed.size() < CLOSED_KEPT)
        m_closed.push_back(NameIn(m_strDir, m_strPath));
    m_strDir = strDir;
    m_strPath = strPath;
    m_nSize = ~0ULL;
}

void CRollOver::TakeClosed(const std::string& strOwnDay, std::vector<std::string>& names)
{
    names.clear();
    if (strOwnDay == m_strClosedDir)
        names.swap(m_closed);
}

void CRollOver::GiveBack(const std::string& strOwnDay, const std::vector<std::string>& names)
{
    if (strOwnDay != m_strClosedDir || names.empty())
        return;
    // Those given back are older than any closed since they were taken.
    std::vector<std::string> all(names);
    all.insert(all.end(), m_closed.begin(), m_closed.end());
    if (all.size() > CLOSED_KEPT)
        all.erase(all.begin(), all.end() - CLOSED_KEPT);
    m_closed.swap(all);
}
