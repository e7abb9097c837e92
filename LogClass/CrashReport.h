// CCrashReport: the objects whose log takes a crash entry ([LOG] CRASH=1 and a
// file open), and the entry itself. The first object watched installs the
// platform's crash handler (QwInstallCrashHandler), the last one unwatched
// removes it. On a crash the handler hands over what it found (QW_CRASH_FACTS)
// and the report writes one entry, in one append, to every watched file.
//
// Everything the crash path runs is safe inside a signal handler: fixed
// buffers, atomics, the clock, one write per file; no memory from the heap and
// no lock but the objects' own, each tried for a bounded while
// (QwCrashEnterLock): an entry holds its lock only for its write, and a crash
// there (its thread holding the lock) still gives its entry, written without it.
#ifndef QUILLWORK_CRASHREPORT_H
#define QUILLWORK_CRASHREPORT_H

#include "Platform.h"

#include <stddef.h>

class CCrashReport
{
public:
    // The most objects watched at once; a further one gets no crash entry.
    enum { MAX_WATCHED = 64 };

    // Watches the file *ppFile (read again at the crash, under *pLock, so a
    // roll-over to another file is followed) whose stamps have nDigits digits
    // after the second (0, 3, 6) and, with bThread, the thread's id. Installs the crash handler when it is the
    // first. FALSE when there is no free place or the handler could not be
    // installed. Any thread; not from the crash path.
    static bool Watch(FILE* const* ppFile, QW_LOCK* pLock, int nDigits, bool bThread);

    // Stops watching *ppFile (nothing when it is not watched); removes the crash
    // handler when it was the last, unless the host replaced it since.
    static void Unwatch(FILE* const* ppFile);

    // The number of objects watched now.
    static size_t Watched();

    // Lays out the crash entry of facts with the stamp of now (nDigits of the
    // fraction, with bThread the crashed thread's id) into pszBuf (nSize bytes) and gives its length: the stamp, two
    // blanks, "CRASH <name> (<code>)", the address and the thread, then one
    // frame a line ("    #<n> <module>+0x<offset>" and " <symbol>" where known),
    // then the entry's end. Cut, still ending as an entry, when it does not
    // fit. Safe in a signal handler.
    static size_t LayOut(char* pszBuf, size_t nSize, const QW_CRASH_FACTS& facts, const QW_CLOCK_READING& now,
                         int nDigits, bool bThread);

    // The crash path (the handler's PFN_QWCRASH): for every watched object, its
    // lock taken (facts.bLock), one entry appended to its file and, where the
    // platform writes one, a dump beside it. Where facts.bHold is set the locks
    // stay taken, so that no other thread's entry follows the crash entry.
    static void Report(const QW_CRASH_FACTS& facts);

    // The handler's PFN_QWRESUME, when the process goes on after a Report with
    // facts.bHold: the locks it kept are given back, the next crash reported.
    static void Resume();

    // The local time's offset from UTC in seconds at the moment tNow, as
    // QwLocalTime gives it; 0 when it cannot be read. The crash path stamps
    // with the offset read when the last object was watched.
    static long UtcOffset(time_t tNow);
};

#endif
