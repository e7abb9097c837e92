// What differs between Linux and Windows for qwlog: files, the terminal, waiting.
#ifndef QWLOG_PLATFORM_H
#define QWLOG_PLATFORM_H

#include <cstdio>
#include <string>

namespace qwlog {

// Opens a file for reading in binary mode (large files included); NULL with errno set.
std::FILE* OpenForReading(const std::string& strPath);

// Opens a file for writing in binary mode; NULL with errno set.
std::FILE* OpenForWriting(const std::string& strPath);

// True when the open file is a folder.
bool IsDirectory(std::FILE* pFile);

// Standard output as bytes (no line-end translation) and, on a terminal, ready for colour
// sequences. Returns true when standard output is a terminal.
bool PrepareStdout();

// Sleeps for nMs milliseconds.
void SleepMs(unsigned nMs);

}  // namespace qwlog

#endif
