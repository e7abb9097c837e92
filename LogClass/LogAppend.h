// CLogAppend: how an entry reaches the log file, and what is taken back when
// only part of it did (a full disk). A short write's bytes are cut off again,
// but only while the file still ends where this process's write left it:
// bytes another writer appended since are never removed. The platform gives
// the write, the file's end and the cut, under the process's append guard
// (Platform.h, Append).
#ifndef QUILLWORK_LOGAPPEND_H
#define QUILLWORK_LOGAPPEND_H

#include "Platform.h"

// Gives the next part of a run of appends: sets *pp to its bytes and returns its
// length; 0 when the run is over.
typedef size_t (*PFN_QWNEXTPART)(void* pContext, const char** pp);

class CLogAppend
{
public:
    // Appends nLen bytes of p to the file open behind pFile in one write, in
    // the operating system when it returns; TRUE when all of them reached the
    // file. Where only part did, that part is cut off again (see above). A
    // PFN_QWAPPEND.
    static BOOL Whole(FILE* pFile, const char* p, size_t nLen);

    // Appends the parts pfnNext gives to the file behind pFile, one write each,
    // back to back: the append guard is held across the whole run, so no
    // append of this process lands between two parts (another process may).
    // TRUE when every part reached the file. At the first part that does not
    // reach it whole the run stops, and the bytes the run left at the end of
    // the file are cut off again, as Whole cuts a short write: only while the
    // file still ends where the run's last write left it, and only back to the
    // last bytes another writer put between two parts, never further.
    static BOOL Run(FILE* pFile, PFN_QWNEXTPART pfnNext, void* pContext);

private:
    // The bytes of a run at the end of the file: where its last write ended,
    // and how many bytes before that are the run's own with nothing of another
    // writer between them.
    struct CRunTail
    {
        long long nEnd;
        long long nOwn;
    };

    // Counts nDone bytes a run just wrote to pFile into tail.
    static void AddToTail(FILE* pFile, size_t nDone, CRunTail& tail);

    // Cuts nOwn bytes off pFile if the file still ends at nEnd, where this
    // process's last write left it. Called with the append guard held.
    static void CutTail(FILE* pFile, long long nEnd, long long nOwn);
};

#endif
