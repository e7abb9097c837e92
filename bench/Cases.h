// The benchmark cases both harnesses run, by name: which writers, which
// operation, and how their bytes are checked against the library's.
#ifndef QW_CASES_H
#define QW_CASES_H

#include "Subjects.h"

#include <functional>
#include <string>
#include <vector>

// Makes a fresh writer (NULL when it cannot).
typedef std::function<std::unique_ptr<CBenchSubject>()> QW_MAKER;

// One writer by name, as it appears in the case names.
struct QW_WRITER
{
    std::string strName;
    QW_MAKER fnMake;
    bool bEntries;  // takes part in the entry cases
    bool bDumps;    // takes part in the dump cases
    bool bSameBytes;  // writes exactly the library's entry bytes (masked stamps aside)
    bool bSameDumps;  // and its dump bytes (peers have dump layouts of their own)
};

// The library and the floor writers of this platform (floor names carry the
// platform's write call, e.g. floor_write1 or floor_WriteFile1).
std::vector<QW_WRITER> BenchPortableWriters();

// The library with [LOG] SYNC=1 and the floor of one write followed by the same
// sync, under the library's and the floor's usual names (their own cases).
std::vector<QW_WRITER> BenchSyncWriters();

// The cases the sync writers take part in, as op names of their own.
const char* const QW_SYNC_ENTRY_CASE = "EntrySync";
const char* const QW_SYNC_DUMP_CASE = "Dump256Sync";
const unsigned int QW_SYNC_DUMP_SIZE = 256;

// Checks that each writer marked bSameBytes writes the library's bytes for an
// entry (and a dump of each size, where it dumps); prints PASS and FAIL lines.
// Returns the number of FAIL lines.
int BenchCheckBytes(const std::vector<QW_WRITER>& writers);

// Bytes one call of op adds to the subject's file (op is called once).
long long BenchBytesOfOne(CBenchSubject& subject, const std::function<void()>& op);

#endif
