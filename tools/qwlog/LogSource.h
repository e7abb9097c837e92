// One log file read as records, from start to end or, when followed, as it grows.
#ifndef QWLOG_LOGSOURCE_H
#define QWLOG_LOGSOURCE_H

#include "LineReader.h"
#include "Parser.h"
#include "Platform.h"

#include <cstdio>
#include <memory>
#include <string>

namespace qwlog {

class LogSource
{
public:
    // bKeepDumpLines as for Parser.
    LogSource(const std::string& strPath, Parser::ReportFn fnReport, bool bKeepDumpLines = false);
    ~LogSource();
    LogSource(const LogSource&) = delete;
    LogSource& operator=(const LogSource&) = delete;

    // Opens the file; false (and a report) when it cannot be read.
    bool Open();

    // The next record; false at the end of the file (or when it is not a Quillwork log).
    bool Next(Record& record);

    // For a followed file: the next record written so far; false when there is none yet.
    // Never ends the file, so an unfinished last record waits for its rest.
    bool NextSoFar(Record& record);

    const std::string& Path() const { return m_strPath; }
    bool Rejected() const { return m_parser.Rejected(); }

    // Closes the file between reads, keeping the place (for merges of more files than may be
    // open at once); Resume opens it again there, false (and a report) when it cannot.
    bool IsOpen() const { return m_pFile != nullptr; }
    void Suspend();
    bool Resume();

    // For a followed file: when it has become shorter than what was read, reports "file
    // truncated", starts again from its beginning and returns true.
    bool RestartIfTruncated();

    // Ends the file where it stands now: its last record is complete or torn; Next then gives
    // what is left.
    void FinishNow();

    // For a file followed by name: true when the name now leads to another file.
    bool Replaced() const;

    // Reads what is left of the current file, then goes on with the file the name now leads
    // to, from its start; false (the old file kept) when it cannot be opened.
    bool SwitchToNamed();

private:
    void StartOver(std::FILE* pFile);

    std::string m_strPath;
    Parser::ReportFn m_fnReport;
    bool m_bKeepDumpLines;
    std::FILE* m_pFile = nullptr;
    FileId m_id;  // the file opened first, so that Resume finds the same one
    std::unique_ptr<LineReader> m_pReader;
    Parser m_parser;
    bool m_bFinished = false;
};

}  // namespace qwlog

#endif
