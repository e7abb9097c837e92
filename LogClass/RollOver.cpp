// CRollOver: the decision to move on to a new log file, and the files left behind.
#include "RollOver.h"

#include <stdio.h>
#include <string.h>

namespace {

const unsigned long long MIB = 1024ULL * 1024ULL;
const unsigned long long BANNER_BYTES = 14;  // "\r\n------\r\n\r\n\r\n": a file that holds no entry yet

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

// The name of the file of time of day strClock ("HHMMSS"), sequence nSeq and
// tail strTail: "HHMMSS" + strTail for the first file of a second, then
// "HHMMSS~0001" + strTail and on. '~' sorts after '_' and '.' in byte order,
// and four digits keep the sequences of one second in order.
std::string FileName(const std::string& strClock, unsigned int nSeq, const std::string& strTail)
{
    if (nSeq == 0)
        return strClock + strTail;
    char szSeq[8] = { 0 };
    snprintf(szSeq, sizeof(szSeq), "~%04u", nSeq % 10000);
    return strClock + szSeq + strTail;
}

} // namespace

CRollOver::CRollOver()
    : m_bDaily(false)
    , m_nMaxFileMb(0)
    , m_nSeq(0)
    , m_nNextSeq(0)
    , m_nSize(~0ULL)
    , m_nSinceSize(0)
    , m_tFailed(0)
    , m_bFailed(false)
    , m_tDay(0)
{
}

void CRollOver::ReadSettings(const std::string& strIni)
{
    m_bDaily = QwProfileInt(strIni, "LOG", "DAILY", 0) == 1;
    int nMaxFileMb = QwProfileInt(strIni, "LOG", "MAXFILEMB", 0);
    m_nMaxFileMb = nMaxFileMb >= 1 ? nMaxFileMb : 0;
}

void CRollOver::Opening(const std::string& strDir, const std::string& strPath, const std::string& strTail)
{
    m_strDir = strDir;
    m_strPath = strPath;
    m_strTail = strTail;
    m_strClock = NameIn(strDir, strPath).substr(0, 6);
    m_nSeq = 0;
    m_bFailed = false;
    m_nSize = ~0ULL;
}

// TRUE when the file being written holds MAXFILEMB MiB or more, or when an
// entry of nEntry bytes, MAXFILEMB MiB or more itself, would join entries
// already in it. Its size is asked for when the bytes counted since the last
// answer could have reached the limit, at least every sixteenth of the limit
// (other writers of the file add their bytes too), and before such an entry.
bool CRollOver::Full(FILE* pFile, unsigned long long nEntry)
{
    if (m_nMaxFileMb <= 0)
        return false;
    const unsigned long long nLimit = (unsigned long long)m_nMaxFileMb * MIB;
    const bool bLarge = nEntry >= nLimit;
    if (!bLarge && m_nSize != ~0ULL && m_nSize + m_nSinceSize < nLimit && m_nSinceSize < nLimit / 16)
        return false;
    m_nSize = QwFileSize(pFile);
    m_nSinceSize = 0;
    return m_nSize >= nLimit || (bLarge && m_nSize > BANNER_BYTES);
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

bool CRollOver::Due(time_t tNow, FILE* pFile, const CLogFolder& folder, std::string& strDir, std::string& strPath,
                    unsigned long long nEntry)
{
    std::string strDay;
    if (!Enabled() || pFile == NULL || m_strPath.empty() || (m_bFailed && tNow == m_tFailed) || !DayOf(tNow, strDay))
        return false;
    const bool bNewDay = m_bDaily && !IsFolderOfDay(m_strDir, strDay);
    if (!bNewDay && !Full(pFile, nEntry))
        return false;
    strDir = m_strDir;
    if (bNewDay && !folder.MakeDay(strDay.c_str(), strDir)) {
        Moved(false, tNow, strDir, strPath);
        return false;
    }
    // The same second in the same folder: the next sequence of that second.
    const std::string strClock = m_strDay.substr(11);
    const bool bSameSecond = strDir == m_strDir && strClock == m_strClock;
    if (bSameSecond && m_nSeq >= SEQUENCE_MAX)
        return false;  // 10,000 files in one second: the entries wait for the next
    m_nNextSeq = bSameSecond ? m_nSeq + 1 : 0;
    strPath = strDir + QW_PATH_SEP_STR + FileName(strClock, m_nNextSeq, m_strTail);
    return strPath != m_strPath;
}

void CRollOver::Moved(bool bDone, time_t tNow, const std::string& strDir, const std::string& strPath)
{
    m_bFailed = !bDone;
    m_tFailed = tNow;
    if (!bDone)
        return;
    m_strDir = strDir;
    m_strPath = strPath;
    m_strClock = NameIn(strDir, strPath).substr(0, 6);
    m_nSeq = m_nNextSeq;
    m_nSize = ~0ULL;
}
