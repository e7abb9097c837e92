// CRollOver: when a long-running object moves on to a new log file. With [LOG]
// DAILY=1 an entry whose local date is not its day folder's goes into a file in
// the folder of its own date; with MAXFILEMB=n a file that holds n MiB or more
// is followed by a new one in the same folder. Neither key set: it never acts.
// A new file is named as Open names one at that second; a second file in the
// same second of the same folder and name takes a sequence after the time of
// day ("HHMMSS~0001_name.log"), so the files of one run sort in the order they
// were written whatever the rate.
#ifndef QUILLWORK_ROLLOVER_H
#define QUILLWORK_ROLLOVER_H

#include "LogFolder.h"
#include "Platform.h"

#include <string>

class CRollOver
{
public:
    CRollOver();

    // Reads DAILY and MAXFILEMB of section [LOG] of the configuration file strIni;
    // DAILY counts only as exactly 1, MAXFILEMB only as n >= 1.
    void ReadSettings(const std::string& strIni);

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

    // Whether the entry stamped tNow, of nEntry bytes (0 when not known: a
    // formatted entry, never larger than a few KiB), must go into another file
    // than pFile, the one noted last: a new date (DAILY), a file that holds
    // MAXFILEMB MiB or more, or an entry of MAXFILEMB MiB or more that would
    // join entries already in the file (it gets a file of its own). TRUE gives
    // the new file's folder (made when missing) and path. FALSE when no key asks
    // for it, while a move failed in this same second, or past the last sequence
    // of a second (SEQUENCE_MAX files). Called under the object's lock.
    bool Due(time_t tNow, FILE* pFile, const CLogFolder& folder, std::string& strDir, std::string& strPath,
             unsigned long long nEntry = 0);

    // The move Due asked for is done (bDone) or failed (the entries stay in the
    // file being written; the next second tries again). Called under the lock.
    void Moved(bool bDone, time_t tNow, const std::string& strDir, const std::string& strPath);

    // Counts nLen bytes the object appended to the file being written, so that
    // the file's size is asked for only now and then.
    void Wrote(size_t nLen) { m_nSinceSize += nLen; }
    // The file grew by bytes not counted: its size is asked for at the next entry.
    void Grew() { m_nSize = ~0ULL; }

    // Files one second of one folder and name may take: the first and 9999 more.
    enum { SEQUENCE_MAX = 9999 };

private:
    bool DayOf(time_t tNow, std::string& strDay);
    bool Full(FILE* pFile, unsigned long long nEntry);

    bool m_bDaily;
    int m_nMaxFileMb;
    std::string m_strDir;    // the folder of the file being written
    std::string m_strPath;   // the file being written
    std::string m_strTail;   // its name after the time of day and sequence
    std::string m_strClock;  // its time of day, "HHMMSS"
    unsigned int m_nSeq;     // its sequence in that second (0: none in the name)
    unsigned int m_nNextSeq; // the sequence of the file Due named last
    unsigned long long m_nSize;       // the file's size when last asked, ~0 for not yet
    unsigned long long m_nSinceSize;  // bytes the object appended since
    time_t m_tFailed;        // the second of the last failed move
    bool m_bFailed;
    time_t m_tDay;           // the second whose date m_strDay holds
    std::string m_strDay;
};

#endif
