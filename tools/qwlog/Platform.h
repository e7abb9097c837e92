// What differs between Linux and Windows for qwlog: files, the terminal, waiting.
#ifndef QWLOG_PLATFORM_H
#define QWLOG_PLATFORM_H

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace qwlog {

// Opens a file for reading in binary mode (large files included); NULL when it cannot, with
// the reason in LastErrorText().
std::FILE* OpenForReading(const std::string& strPath);

// The reason the last failed call of this file gave, as the system words it.
std::string LastErrorText();

// True when the open file is a folder.
bool IsDirectory(std::FILE* pFile);

// What tells one file from another: device and inode, or volume and file index.
struct FileId
{
    uint64_t nVolume = 0;
    uint64_t nIndex = 0;
    bool operator==(const FileId& other) const { return nVolume == other.nVolume && nIndex == other.nIndex; }
};

// The identity and size of an open file; false when the system cannot tell.
bool IdOfOpen(std::FILE* pFile, FileId& id, uint64_t& nSize);

// The identity of the file a path names now; false when there is none.
bool IdOfPath(const std::string& strPath, FileId& id);

// Moves an open file's read position to nOffset; false when it cannot.
bool SeekTo(std::FILE* pFile, uint64_t nOffset);

// Opens a file for writing in binary mode, emptying it; NULL with the reason in LastErrorText().
std::FILE* OpenForWriting(const std::string& strPath);

// True when strPath names nothing yet or a plain file (not a link, device, pipe or folder):
// a file that can be written under another name and renamed into its place.
bool IsPlainOrAbsent(const std::string& strPath);

// Creates a new, empty file beside strPath (same folder) for writing in binary mode and
// returns it with its name in strTemp; NULL with the reason in LastErrorText().
std::FILE* CreateBeside(const std::string& strPath, std::string& strTemp);

// Puts strTemp in the place of strPath, replacing what was there; false with the reason in
// LastErrorText().
bool MoveInPlace(const std::string& strTemp, const std::string& strPath);

// The file arguments as the program should read them: on Windows, where the shell does not
// expand wildcards, each argument holding '*' or '?' becomes the sorted names it matches, in
// its folder parts too (an argument that matches nothing stays as it is); elsewhere unchanged.
std::vector<std::string> ExpandWildcards(const std::vector<std::string>& aArgs);

// Standard output as bytes (no line-end translation) and, on a terminal, ready for colour
// sequences. Returns true when standard output is a terminal.
bool PrepareStdout();

// Sleeps for nMs milliseconds.
void SleepMs(unsigned nMs);

}  // namespace qwlog

#endif
