// CRollOver: when a long-running object moves on to a new log file. With [LOG]
// DAILY=1 an entry whose local date is not its day folder's goes into a file in
// the folder of its own date; with MAXFILEMB=n a file that holds n MiB or more
// is followed by a new one in the same folder. Neither key set: it never acts.
// It also keeps the names of the files the object closed this way, so that
// KEEPMB can count them and remove them as the object moves on.
#ifndef QUILLWORK_ROLLOVER_H
#define QUILLWORK_ROLLOVER_H

#include "LogFolder.h"
#include "Platform.h"

class CSettings;

#include <string>
#include <vector>

class CRollOver
{
public:
    CRollOver();

    // Takes DAILY and MAXFILEMB of section [LOG] from settings; DAILY counts
    // only as exactly 1, MAXFILEMB only as n >= 1.
    void ReadSettings(const CSettings& settings);

    bool Enabled() const { return m_bDaily || m_nMaxFileMb > 0; }
    bool Daily() const { return m_bDaily; }

    // With DAILY, makes strDir the folder of tNow's local date (made when missing)
    // when it is not; unchanged when that folder cannot be made. Called by Open
    // under the object's lock, before it names its file.
    void FollowDay(time_t tNow, const CLogFolder& folder, std::string& strDir);

    // Notes the file Open is about to open: strPath, in folder strDir, whose name
    // is the time of day followed by strTail ("_name.log", ".log"...). Called
    // under the object's lock.
    void Opening(const std::string& strDir, const std::string& strPath, const std::string& strTail);

    // Whether the entry stamped tNow must go into another file than pFile, the
    // one noted last. TRUE gives that file's folder (made when missing) and path.
    // FALSE when no key asks for it, when the new name is the file being written
    // (the same second), or while a move failed in this same second. Called
    // under the object's lock.
    bool Due(time_t tNow, FILE* pFile, const CLogFolder& folder, std::string& strDir, std::string& strPath);

    // The move Due asked for is done (bDone) or failed (the entries stay in the
    // file being written; the next second tries again). Called under the lock.
    void Moved(bool bDone, time_t tNow, const std::string& strDir, const std::string& strPath);

    // Counts nLen bytes the object appended to the file being written, so that
    // the file's size is asked for only now and then.
    void Wrote(size_t nLen) { m_nSinceSize += nLen; }
    // The file grew by bytes not counted: its size is asked for at the next entry.
    void Grew() { m_nSize = ~0ULL; }

    // Gives the names of the files closed by a move in day folder strOwnDay and
    // forgets them (TakeClosed); takes back those still there (GiveBack). Both
    // under the object's lock; what lies between runs without it.
    void TakeClosed(const std::string& strOwnDay, std::vector<std::string>& names);
    void GiveBack(const std::string& strOwnDay, const std::vector<std::string>& names);

private:
    bool DayOf(time_t tNow, std::string& strDay);
    bool Full(FILE* pFile);

    bool m_bDaily;
    int m_nMaxFileMb;
    std::string m_strDir;    // the folder of the file being written
    std::string m_strPath;   // the file being written
    std::string m_strTail;   // its name after the time of day
    unsigned long long m_nSize;       // the file's size when last asked, ~0 for not yet
    unsigned long long m_nSinceSize;  // bytes the object appended since
    time_t m_tFailed;        // the second of the last failed move
    bool m_bFailed;
    time_t m_tDay;           // the second whose date m_strDay holds
    std::string m_strDay;
    std::string m_strClosedDir;          // where the files of m_closed are
    std::vector<std::string> m_closed;   // files closed by a move, oldest first
};

#endif
