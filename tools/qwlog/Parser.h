// Turns the lines of one log file into records. Lines go in one at a time and records come out
// as soon as they are known to be whole, so memory stays bounded by the largest record.
//
// A file is a sequence of banners ("", "------", "", ""), entries ("<stamp>  <message>", then an
// empty line; a message may span lines) and dumps ("<stamp> --> " or " <-- ", then lines of
// values indented by as many spaces, then an empty line). A stamp is "YYYY-MM-DD HH:MM:SS",
// optionally ".mmm" or ".uuuuuu", optionally " [thread id]"; one file may mix the forms. An entry ends only where the next record starts, since its
// message may itself hold empty lines.
//
// In a file whose lines end in CR LF, a record starts only after a CR LF: a line that follows a
// bare LF is part of the message before it, so a host's own text cannot forge a record.
//
// Memory: an entry is held up to kMaxEntryBytes; a dump holds its values, and its lines only
// when asked (cat shows them), up to kMaxDumpLineBytes. A record past its bound is reported,
// ends there as torn, and reading goes on at the next record.
#ifndef QWLOG_PARSER_H
#define QWLOG_PARSER_H

#include "DumpLine.h"
#include "LineReader.h"
#include "Record.h"

#include <deque>
#include <functional>
#include <string>

namespace qwlog {

// The stamp a record's first line starts with.
struct StampHead
{
    size_t nTimeLen = 0;  // 19, 23 (milliseconds) or 26 (microseconds)
    size_t nLen = 0;      // the whole stamp, its thread included
    bool bThread = false;
    uint64_t nThread = 0;
};

// Reads the stamp at the start of s: "YYYY-MM-DD HH:MM:SS", then ".ddd" or ".dddddd", then
// " [" 1 to 10 digits "]"; false when s does not start with one.
bool ParseStampHead(const std::string& s, StampHead& head);

class Parser
{
public:
    // fnReport receives every problem of the file: its line number and a message.
    typedef std::function<void(uint64_t nLine, const std::string& strWhat)> ReportFn;

    static const size_t kMaxEntryBytes = 1u << 20;      // an entry's lines, 32 bytes added a line
    static const size_t kMaxDumpLineBytes = 32u << 20;  // a dump's lines, when they are kept

    // bKeepDumpLines: keep every line of a dump in Record::aLines (else only the first).
    Parser(const std::string& strFile, ReportFn fnReport, bool bKeepDumpLines = false);

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
    enum class State { Start, Between, Banner, Entry, Dump, DumpEnd, Skip };

    void StartRecord(const Line& line);
    void StartBanner(const Line& line);
    void StartEntry(const Line& line, const StampHead& head);
    void StartDump(const Line& line, const DumpLine& dump, bool bOut, const StampHead& head);
    void TakeStamp(const std::string& s, const StampHead& head);
    void FeedBanner(const Line& line);
    void FeedEntry(const Line& line);
    void FeedDump(const Line& line);
    void FeedDumpEnd(const Line& line);
    void FeedSkip(const Line& line);
    bool AfterCrLf(bool bPrevCrLf) const { return bPrevCrLf || m_nLineEnds != 1; }
    bool OverBound(size_t nAdd);
    void SettleBanner(const Record& next);
    void AddDumpLine(const DumpLine& dump);
    void SettleCutLine(bool bLastLine);
    void FinishEntry(size_t nLines, bool bTorn);
    void EmitBanner(bool bTorn);
    void EmitDump(bool bTorn);
    bool StartPartial(const std::string& strLast, uint64_t nLine);
    void FinishLines(const std::string& strPartial, uint64_t nPartialLine);
    void CloseRecord(bool bPartial);
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
    size_t m_nHead = 0;           // the current record's stamp and what follows it: 2 spaces or arrow
    std::deque<Record> m_queue;
    size_t m_nStray = 0;
    bool m_bKeepDumpLines;
    bool m_bKeepsValues = false;  // the current dump has a decimal line past 48 characters
    int m_nLineEnds = 0;          // 0 not known yet, 1 CR LF (the first line's), 2 LF alone
    size_t m_nCurBytes = 0;       // what m_cur holds, against its bound
    bool m_bBannerHeld = false;   // the queue's last record is a banner awaiting its date
    bool m_bSkipPrevEmpty = false;
    bool m_bPrevCrLf = true;      // the line before the one being fed ended in CR LF
};

// "YYYY-MM-DD HH:MM:SS" from a path ending in ".../YYYY-MM-DD/HHMMSS_name" (or "HHMMSS.log",
// or either with "~NNNN" after the time: a later file of the same second), either separator;
// empty when the path has another shape.
std::string TimeFromPath(const std::string& strPath);

// The part of a log file's name after its time of day and sequence: the name is HHMMSS, then
// ~NNNN for a later file of the same second, then the tail, which starts with '_' or '.'
// ("_name.log", ".log"). Empty when strName is not named so.
std::string TailOfName(const std::string& strName);

// True when s is a day folder's name, "YYYY-MM-DD".
bool IsDayFolderName(const std::string& s);

// The time of an open whose folder and file name give strNameTime, when strFirst is the stamp
// of the first record after its banner: an object made before midnight and opened after it
// has the later day in its stamps, not in its folder. The open then takes the latest date, not
// before the folder's, at which the name's time of day does not come after strFirst.
std::string OpenTime(const std::string& strNameTime, const std::string& strFirst);

}  // namespace qwlog

#endif
