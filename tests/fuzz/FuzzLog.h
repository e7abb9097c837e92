// One log object, open for the whole fuzzing run, in a host folder of its
// own, with the clock fixed: each input's entry is read back from an emptied file.
#ifndef QW_FUZZ_LOG_H
#define QW_FUZZ_LOG_H

#include "Quillwork.h"

#include <string>

namespace qwfuzz {

// The stamp every entry carries: the fixed clock's reading.
extern const char STAMP[];
// The open object (made and opened at the first call).
ILogObject* Log();
// Empties the log file, so the next entry is all it holds.
void Empty();
// What the log file holds.
std::string Written();
// Reports a difference between the file and the model and aborts, so the
// fuzzer keeps the input.
void Mismatch(const std::string& strExpected, const std::string& strWritten);

} // namespace qwfuzz

#endif
