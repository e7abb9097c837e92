// The writers the benchmarks time: the library through its interface, and the
// floor of plain append writes of the same bytes. Peers (Peers.h) are more of the same.
#ifndef QW_SUBJECTS_H
#define QW_SUBJECTS_H

#include <memory>
#include <string>

// One writer appending to one file. Entry and Dump may be called from several
// threads when the writer says so (the library and the floor do).
class CBenchSubject
{
public:
    virtual ~CBenchSubject() {}
    // Writes the benchmarked entry ("3 items", stamped as this writer stamps).
    virtual void Entry() = 0;
    // Writes one dump of nSize bytes of pData.
    virtual void Dump(const unsigned char* pData, unsigned int nSize) = 0;
    // The file this writer appends to.
    virtual const std::string& Path() const = 0;
};

// How a floor writer writes the library's bytes.
enum QW_FLOOR_KIND
{
    QW_FLOOR_ONE_WRITE,  // the whole entry or dump in one call
    QW_FLOOR_ONE_LOCKED, // the same, one thread at a time: a process-wide mutex around each call
    QW_FLOOR_PIECES,     // one call per piece, as the library writes today (3, or 4n + 1)
    QW_FLOOR_FORMAT      // formats stamp and message itself, then one call (entries only)
};

// A library object with an open file, console off; NULL when Open failed.
// Destroying it closes and releases the object and removes its file.
// With bSync, the object is made with [LOG] SYNC=1.
std::unique_ptr<CBenchSubject> MakeQuillwork(bool bSync = false);
// A floor writer on a fresh file in the bench folder; NULL when it cannot open it.
// With bSync, each entry's or dump's last write is followed by the sync the
// library makes with SYNC=1.
std::unique_ptr<CBenchSubject> MakeFloor(QW_FLOOR_KIND nKind, bool bSync = false);

#endif
