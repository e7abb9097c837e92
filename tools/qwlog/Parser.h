// Turns the lines of one log file into records. Lines go in one at a time and records come out
// as soon as they are known to be whole, so memory stays bounded by the largest record.
//
// A file is a sequence of banners ("", "------", "", ""), entries ("<stamp>  <message>", then an
// empty line; a message may span lines) and dumps ("<stamp> --> " or " <-- ", then lines of
// values, then an empty line). An entry ends only where the next record starts, since its
// message may itself hold empty lines.
#ifndef QWLOG_PARSER_H
#define QWLOG_PARSER_H

#include "DumpLine.h"
#include "LineReader.h"
#include "Record.h"

#include <deque>
#include <functional>
#include <string>

namespace qwlog {

class Parser
{
public:
    // fnReport receives every problem of the file: its line number and a message.
    typedef std::function<void(uint64_t nLine, const std::string& strWhat)> ReportFn;

    Parser(const std::string& strFile, ReportFn fnReport);

    // Takes the next line of the file.
    void Feed(const Line& line);

    // No more lines for now (a followed file): a pending entry that ends in one empty line is
    // taken as whole; one that ends in two waits, as the second may begin a banner.
    void Idle();

    // End of the file; strPartial holds the bytes after its last line feed.
    void Finish(const std::string& strPartial, uint64_t nPartialLine);

    // Takes the oldest record that is ready; false when none is.
    bool Pop(Record& record);

    // True once the file has proved not to be a Quillwork log; it then takes no more lines.
    bool Rejected() const { return m_bRejected; }

private:
    enum class State { Start, Between, Banner, Entry, Dump, DumpEnd };

    void StartRecord(const Line& line);
    void StartBanner(const Line& line);
    void StartEntry(const Line& line);
    void StartDump(const Line& line, const DumpLine& dump, bool bOut);
    void FeedBanner(const Line& line);
    void FeedEntry(const Line& line);
    void FeedDump(const Line& line);
    void FeedDumpEnd(const Line& line);
    void AddDumpLine(const DumpLine& dump);
    void SettleCutLine(bool bLastLine);
    void FinishEntry(size_t nLines, bool bTorn);
    void EmitBanner(bool bTorn);
    void EmitDump(bool bTorn);
    bool StartPartial(const std::string& strLast, uint64_t nLine);
    void Stray(const Line& line);
    void Torn(const char* pszWhat);
    void Emit();

    std::string m_strFile;
    ReportFn m_fnReport;
    std::string m_strNameTime;  // the banner time the path gives, or empty
    State m_state = State::Start;
    bool m_bRejected = false;
    Record m_cur;
    std::vector<bool> m_abCrLf;     // line ends of m_cur.aLines (entries)
    DumpLine m_lastCut;             // a cut decimal line whose value count is still open
    bool m_bCutOpen = false;
    uint64_t m_nNextOffset = 0;
    std::deque<Record> m_queue;
    std::string m_strLastTime;
    size_t m_nStray = 0;
};

// "YYYY-MM-DD HH:MM:SS" from a path ending in ".../YYYY-MM-DD/HHMMSS_name" (or "HHMMSS.log"),
// either separator; empty when the path has another shape.
std::string TimeFromPath(const std::string& strPath);

}  // namespace qwlog

#endif
