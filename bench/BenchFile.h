// The few file calls the benchmarks make besides the library: a raw append
// handle for the floor (write(2) or WriteFile, one call per piece), and reading
// back what a writer appended.
#ifndef QW_BENCHFILE_H
#define QW_BENCHFILE_H

#include <stddef.h>
#include <stdint.h>
#include <time.h>

#include <string>

// A raw file handle: a descriptor on POSIX, a HANDLE on Windows.
typedef intptr_t QW_BENCH_FILE;
const QW_BENCH_FILE QW_NO_FILE = -1;

// Opens (creating) strPath for appending, as the library opens its log. QW_NO_FILE on failure.
QW_BENCH_FILE BenchOpenAppend(const std::string& strPath);
// One system call writing nLen bytes at the end of the file. False when it wrote less.
bool BenchWrite(QW_BENCH_FILE hFile, const char* pData, size_t nLen);
// Waits until what was written to the file is on stable storage, as the library
// does with SYNC=1 (fdatasync or FlushFileBuffers). False when it failed.
bool BenchSync(QW_BENCH_FILE hFile);
// Closes a handle from BenchOpenAppend.
void BenchClose(QW_BENCH_FILE hFile);
// The name of the floor's one write call, for the case names ("write" or "WriteFile").
const char* BenchWriteCallName();

// Local time of tClock into *pTm, without shared state.
void BenchLocalTime(time_t tClock, struct tm* pTm);

// Size of the file in bytes, -1 when it cannot be read.
long long BenchFileSize(const std::string& strPath);
// The bytes of the file from nOffset to its end.
std::string BenchReadFrom(const std::string& strPath, long long nOffset);
// Empties the file (writers in append mode go on at its new end). False on failure.
bool BenchTruncate(const std::string& strPath);
// The file below strRoot (one folder deep) whose name ends in strSuffix, or "".
std::string BenchFindFile(const std::string& strRoot, const std::string& strSuffix);
// Creates the folder and its parents; true when it exists after.
bool BenchMakeDirs(const std::string& strPath);
// Removes a file, ignoring failure.
void BenchRemove(const std::string& strPath);

#endif
