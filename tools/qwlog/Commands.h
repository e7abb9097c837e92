// The two ways qwlog reads its files: all of them merged by time, or one followed as it grows.
#ifndef QWLOG_COMMANDS_H
#define QWLOG_COMMANDS_H

#include "Record.h"

#include <functional>
#include <string>
#include <vector>

namespace qwlog {

// Receives a problem of a file: its path, the line (0 for the file as a whole), the message.
typedef std::function<void(const std::string& strPath, uint64_t nLine, const std::string& strWhat)> ProblemFn;
// Receives each record read.
typedef std::function<void(const Record& record)> RecordFn;

// Files open at once in a merge; the others are closed between reads and opened again.
const size_t kMaxOpenFiles = 64;

// Reads every file to its end, merged by time: a file's own order kept, ties to the file
// named first (the files of one run taken in the order the library wrote them, in the places
// they were named in), a banner without a time sorted with the record before it. At most nMaxOpen
// files are open at any moment. bKeepDumpLines as for Parser.
void MergeFiles(const std::vector<std::string>& aFiles, bool bKeepDumpLines, size_t nMaxOpen,
                const ProblemFn& fnProblem, const RecordFn& fnRecord);

// Reads one file as it grows until the process is stopped; a file cut shorter is read again
// from its start; with bByName, a file replaced under the name (renamed over, or removed and
// made again) is left for the new one once read to its end. A file of a run (day folder and
// library name) is left, once read to its end, for the run's next file when one appears
// (MAXFILEMB, DAILY), each switch reported through fnProblem. fnIdle runs whenever nothing
// new has come; false from it ends the reading. Returns the exit status.
int FollowFile(const std::string& strPath, bool bByName, bool bKeepDumpLines, const ProblemFn& fnProblem,
               const RecordFn& fnRecord, const std::function<bool()>& fnIdle);

}  // namespace qwlog

#endif
