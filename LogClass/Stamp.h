// CStamp: the stamp in front of every entry and dump, made in this one place.
// "YYYY-MM-DD HH:MM:SS" in local time; with [LOG] STAMP=MS or STAMP=US the
// milliseconds (".mmm") or microseconds (".uuuuuu") of the same clock reading
// follow, truncated; with [LOG] THREAD=1 the writing thread's id in square
// brackets (" [4711]"); then the tail the caller gives ("  " before a message,
// " --> " or " <-- " before a dump's values).
#ifndef QUILLWORK_STAMP_H
#define QUILLWORK_STAMP_H

#include "Framework.h"
#include "Platform.h"

class CSettings;

#include <stddef.h>

#include <string>

class CStamp
{
public:
    // The most a stamp takes with its tail: 26 characters of time, " [", 10
    // digits, "]" and a tail of 5, with room to spare.
    enum { STAMP_MAX = 48 };

    CStamp();

    // Takes STAMP and THREAD of section [LOG] from settings. STAMP is MS or US in
    // any case; any other value, or none, gives whole seconds. THREAD is on
    // when it reads exactly 1.
    void ReadSettings(const CSettings& settings);

    // The digits after the second: 0, 3 or 6.
    int Digits() const { return m_nDigits; }
    bool Thread() const { return m_bThread; }

    // One reading of the clock for one stamp: whole seconds from the clock seam
    // when the stamp shows none of the fraction, else the sub-second clock.
    QW_CLOCK_READING Read() const;

    // Writes the stamp of now for the thread nThread (Owner of the thread the
    // entry is for), then pszTail, at pszStamp (unterminated, at most STAMP_MAX
    // bytes) and gives its length; 0, and nothing written, when now has no local
    // time. The date and time text is made again only when the second changes,
    // always from now itself. Not for two threads at once (the object's lock
    // serializes it).
    size_t Format(char* pszStamp, const QW_CLOCK_READING& now, const char* pszTail, DWORD nThread);

    // The id Format is to write for the calling thread: its id with THREAD=1,
    // else 0 (not asked for).
    DWORD Owner() const { return m_bThread ? QwThreadId() : 0; }

    // The length Format gives the calling thread with a tail of nTail bytes, for
    // laying text out before the stamp is made. Any thread, any time.
    size_t Length(size_t nTail) const;

private:
    size_t PutFraction(char* p, long nNanos) const;
    static size_t PutThread(char* p, DWORD nThread);

    int m_nDigits;        // 0, 3 (STAMP=MS) or 6 (STAMP=US)
    bool m_bThread;       // THREAD=1
    time_t m_tCached;     // the second m_szTime shows
    char m_szTime[20];    // "YYYY-MM-DD HH:MM:SS", or empty when not made
    size_t m_nTime;
};

#endif
