#include "Parser.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>

namespace qwlog {

namespace {

const size_t kStrayReports = 5;    // stray lines reported one by one; the rest are counted
const char kBannerRule[] = "------";
const size_t kArrowLen = 5;        // " --> " or " <-- "
const size_t kMaxThreadDigits = 10;

// The first line of an entry: a stamp and two spaces.
bool IsEntryStart(const std::string& s, StampHead& head)
{
    return ParseStampHead(s, head) && s.size() >= head.nLen + 2 && s[head.nLen] == ' ' && s[head.nLen + 1] == ' ';
}

bool IsEntryStart(const std::string& s)
{
    StampHead head;
    return IsEntryStart(s, head);
}

// True for the first line of a dump; bOut tells its arrow. bKeepsValues as for ParseDumpLine.
bool IsDumpStart(const std::string& s, DumpLine& dump, bool& bOut, bool bKeepsValues, StampHead& head)
{
    if (!ParseStampHead(s, head) || s.size() < head.nLen + kArrowLen || s[head.nLen] != ' ' ||
        s[head.nLen + 4] != ' ')
        return false;
    std::string strArrow = s.substr(head.nLen + 1, 3);
    if (strArrow != "-->" && strArrow != "<--")
        return false;
    bOut = strArrow == "-->";
    return ParseDumpLine(s, head.nLen + kArrowLen, dump, bKeepsValues) && dump.nOffset == 0;
}

bool IsDumpStart(const std::string& s, DumpLine& dump, bool& bOut, bool bKeepsValues)
{
    StampHead head;
    return IsDumpStart(s, dump, bOut, bKeepsValues, head);
}

// True when s starts with nIndent spaces and has more after them.
bool IsIndent(const std::string& s, size_t nIndent)
{
    return s.size() > nIndent && s.find_first_not_of(' ') == nIndent;
}

bool IsDigits(const std::string& s, size_t nPos, size_t nLen)
{
    if (s.size() < nPos + nLen)
        return false;
    for (size_t i = nPos; i < nPos + nLen; ++i) {
        if (s[i] < '0' || s[i] > '9')
            return false;
    }
    return true;
}

// True when s is a stamp or its beginning (and the rest of a line may follow it).
bool StampBegun(const std::string& s)
{
    static const char kPattern[] = "dddd-dd-dd dd:dd:dd";
    if (s.empty())
        return false;
    size_t nCheck = std::min(s.size(), kStampLen);
    for (size_t i = 0; i < nCheck; ++i) {
        bool bFits = kPattern[i] == 'd' ? (s[i] >= '0' && s[i] <= '9') : s[i] == kPattern[i];
        if (!bFits)
            return false;
    }
    return true;
}

// The date before "YYYY-MM-DD".
std::string PreviousDay(const std::string& strDay)
{
    int nYear = std::stoi(strDay.substr(0, 4)), nMonth = std::stoi(strDay.substr(5, 2));
    int nDay = std::stoi(strDay.substr(8, 2)) - 1;
    if (nDay < 1) {
        static const int kDays[] = {31, 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
        if (--nMonth < 1) {
            nMonth = 12;
            --nYear;
        }
        bool bLeap = (nYear % 4 == 0 && nYear % 100 != 0) || nYear % 400 == 0;
        nDay = kDays[nMonth] + (nMonth == 2 && bLeap ? 1 : 0);
    }
    char sz[16];
    std::snprintf(sz, sizeof(sz), "%04d-%02d-%02d", nYear % 10000, nMonth, nDay);
    return sz;
}

}  // namespace

bool ParseStampHead(const std::string& s, StampHead& head)
{
    head = StampHead();
    if (!IsStamp(s))
        return false;
    size_t nPos = kStampLen;
    if (s.size() > nPos && s[nPos] == '.') {
        size_t nDigits = 0;
        while (nPos + 1 + nDigits < s.size() && IsDigits(s, nPos + 1 + nDigits, 1) && nDigits <= 6)
            ++nDigits;
        if (nDigits != 3 && nDigits != 6)
            return false;
        nPos += 1 + nDigits;
    }
    head.nTimeLen = nPos;
    if (s.compare(nPos, 2, " [") == 0) {
        size_t nDigits = 0;
        uint64_t nThread = 0;
        for (; nDigits <= kMaxThreadDigits && IsDigits(s, nPos + 2 + nDigits, 1); ++nDigits)
            nThread = nThread * 10 + (uint64_t)(s[nPos + 2 + nDigits] - '0');
        if (nDigits >= 1 && nDigits <= kMaxThreadDigits && s.size() > nPos + 2 + nDigits &&
            s[nPos + 2 + nDigits] == ']') {
            head.bThread = true;
            head.nThread = nThread;
            nPos += nDigits + 3;
        }
    }
    head.nLen = nPos;
    return true;
}

std::string OpenTime(const std::string& strNameTime, const std::string& strFirst)
{
    if (strNameTime.size() != kStampLen || !IsStamp(strNameTime) || !IsStamp(strFirst))
        return strNameTime;
    std::string strDay = strNameTime.substr(0, 10), strClock = strNameTime.substr(10);
    std::string strFirstDay = strFirst.substr(0, 10);
    if (strFirstDay <= strDay)
        return strNameTime;
    if (strFirstDay + strClock <= strFirst.substr(0, kStampLen))
        return strFirstDay + strClock;
    std::string strPrev = PreviousDay(strFirstDay);
    return strPrev > strDay ? strPrev + strClock : strNameTime;
}

const char* KindName(Kind kind)
{
    switch (kind) {
    case Kind::Open: return "open";
    case Kind::Entry: return "entry";
    case Kind::Dump: return "dump";
    }
    return "";
}

std::string TimeFromPath(const std::string& strPath)
{
    size_t nSlash = strPath.find_last_of("/\\");
    if (nSlash == std::string::npos || nSlash < 10)
        return std::string();
    std::string strName = strPath.substr(nSlash + 1);
    std::string strDay = strPath.substr(nSlash - 10, 10);
    if (nSlash > 10 && strPath[nSlash - 11] != '/' && strPath[nSlash - 11] != '\\')
        return std::string();
    bool bDay = IsDigits(strDay, 0, 4) && strDay[4] == '-' && IsDigits(strDay, 5, 2) && strDay[7] == '-' &&
                IsDigits(strDay, 8, 2);
    bool bName = !TailOfName(strName).empty();  // HHMMSS, perhaps ~NNNN, then _ or the extension's dot
    if (!bDay || !bName)
        return std::string();
    return strDay + " " + strName.substr(0, 2) + ":" + strName.substr(2, 2) + ":" + strName.substr(4, 2);
}

std::string TailOfName(const std::string& strName)
{
    size_t n = 6;
    if (!IsDigits(strName, 0, 6))
        return std::string();
    if (strName.size() > n && strName[n] == '~')
        n = IsDigits(strName, 7, 4) ? 11 : std::string::npos;
    if (n == std::string::npos || n >= strName.size() || (strName[n] != '_' && strName[n] != '.'))
        return std::string();
    return strName.substr(n);
}

bool IsDayFolderName(const std::string& s)
{
    return s.size() == 10 && IsDigits(s, 0, 4) && s[4] == '-' && IsDigits(s, 5, 2) && s[7] == '-' && IsDigits(s, 8, 2);
}

Parser::Parser(const std::string& strFile, ReportFn fnReport, bool bKeepDumpLines)
    : m_strFile(strFile), m_fnReport(std::move(fnReport)), m_strNameTime(TimeFromPath(strFile)),
      m_bKeepDumpLines(bKeepDumpLines)
{
    m_cur.strFile = m_strFile;
}

void Parser::Feed(const Line& line)
{
    if (m_bRejected)
        return;
    if (line.bCut)
        m_fnReport(line.nNumber, "line longer than 1 MiB, read only in part");
    if (m_nLineEnds == 0)
        m_nLineEnds = line.bCrLf ? 1 : 2;
    switch (m_state) {
    case State::Start:
    case State::Between: StartRecord(line); break;
    case State::Banner: FeedBanner(line); break;
    case State::Entry: FeedEntry(line); break;
    case State::Dump: FeedDump(line); break;
    case State::DumpEnd: FeedDumpEnd(line); break;
    case State::Skip: FeedSkip(line); break;
    }
    m_bPrevCrLf = line.bCrLf;
}

// Adds nAdd bytes to what the current record holds; true once that passes the record's bound.
bool Parser::OverBound(size_t nAdd)
{
    m_nCurBytes += nAdd;
    return m_nCurBytes > (m_cur.kind == Kind::Dump ? kMaxDumpLineBytes : kMaxEntryBytes);
}

// Lines after a record cut at its bound: dropped until a line where a record can start.
void Parser::FeedSkip(const Line& line)
{
    DumpLine dump;
    bool bOut = false;
    const std::string& s = line.strText;
    if (AfterCrLf(m_bPrevCrLf) && (IsEntryStart(s) || IsDumpStart(s, dump, bOut, false))) {
        m_state = State::Between;
        StartRecord(line);
    } else if (s == kBannerRule && m_bSkipPrevEmpty) {
        Line lead;
        lead.nNumber = line.nNumber - 1;
        StartBanner(lead);
        FeedBanner(line);
    } else {
        m_bSkipPrevEmpty = s.empty() && AfterCrLf(m_bPrevCrLf);
    }
}

// A line where a record must start: a banner's empty line or a stamp.
void Parser::StartRecord(const Line& line)
{
    DumpLine dump;
    bool bOut = false;
    StampHead head;
    if (m_state != State::Start && !AfterCrLf(m_bPrevCrLf))
        Stray(line);
    else if (line.strText.empty())
        StartBanner(line);
    else if (IsEntryStart(line.strText, head))
        StartEntry(line, head);
    else if (IsDumpStart(line.strText, dump, bOut, false, head))
        StartDump(line, dump, bOut, head);
    else
        Stray(line);
}

void Parser::StartBanner(const Line& line)
{
    m_cur.kind = Kind::Open;
    m_cur.nLine = line.nNumber;
    m_cur.aLines.assign(1, line.strText);
    m_state = State::Banner;
}

// The record's time and thread from the stamp at the start of s.
void Parser::TakeStamp(const std::string& s, const StampHead& head)
{
    m_cur.strTime = s.substr(0, head.nTimeLen);
    m_cur.bThread = head.bThread;
    m_cur.nThread = head.nThread;
}

void Parser::StartEntry(const Line& line, const StampHead& head)
{
    m_cur.kind = Kind::Entry;
    m_cur.nLine = line.nNumber;
    TakeStamp(line.strText, head);
    m_nHead = head.nLen + 2;
    m_cur.aLines.assign(1, line.strText);
    m_abCrLf.assign(1, line.bCrLf);
    m_nCurBytes = line.strText.size() + 32;
    m_state = State::Entry;
}

void Parser::StartDump(const Line& line, const DumpLine& dump, bool bOut, const StampHead& head)
{
    m_cur.kind = Kind::Dump;
    m_cur.nLine = line.nNumber;
    TakeStamp(line.strText, head);
    m_nHead = head.nLen + kArrowLen;  // the indent of the lines after the first
    m_cur.bOut = bOut;
    m_cur.bHex = dump.bHex;
    m_cur.aLines.clear();
    m_cur.aLines.push_back(line.strText);
    m_nCurBytes = line.strText.size() + 32;
    m_bKeepsValues = false;  // one dump is one writer's: what its own lines show
    AddDumpLine(dump);
}

void Parser::FeedBanner(const Line& line)
{
    size_t nHave = m_cur.aLines.size();
    bool bFits = nHave == 1 ? line.strText == kBannerRule : line.strText.empty();
    if (bFits) {
        m_cur.aLines.push_back(line.strText);
        if (m_cur.aLines.size() == 4)
            EmitBanner(false);
        return;
    }
    if (nHave == 1 && m_cur.nLine == 1) {
        m_fnReport(1, "not a Quillwork log: it starts with an empty line that no banner follows");
        m_bRejected = true;
        return;
    }
    m_fnReport(m_cur.nLine, nHave == 1 ? "empty line outside any record" : "banner cut short");
    m_cur = Record();
    m_cur.strFile = m_strFile;
    m_state = State::Between;
    StartRecord(line);
}

void Parser::FeedEntry(const Line& line)
{
    DumpLine dump;
    bool bOut = false;
    const std::string& s = line.strText;
    if (AfterCrLf(m_bPrevCrLf) && (IsEntryStart(s) || IsDumpStart(s, dump, bOut, false))) {
        FinishEntry(m_cur.aLines.size(), false);
        StartRecord(line);
        return;
    }
    size_t n = m_cur.aLines.size();
    if (s == kBannerRule && n >= 2 && m_cur.aLines[n - 1].empty() && AfterCrLf(m_abCrLf[n - 2]) &&
        AfterCrLf(m_abCrLf[n - 1])) {
        // The empty line before the rule is the banner's own; the one before it ends the entry.
        Line lead;
        lead.nNumber = m_cur.nLine + n - 1;
        FinishEntry(n - 1, false);
        StartBanner(lead);
        FeedBanner(line);
        return;
    }
    if (OverBound(s.size() + 32)) {
        m_fnReport(m_cur.nLine, "entry longer than 1 MiB: torn there; reading goes on at the next record");
        FinishEntry(n, true);
        m_state = State::Skip;
        m_bSkipPrevEmpty = s.empty();
        return;
    }
    m_cur.aLines.push_back(s);
    m_abCrLf.push_back(line.bCrLf);
}

// Emits the entry made of its first nLines lines; they must end with the empty line.
void Parser::FinishEntry(size_t nLines, bool bTorn)
{
    std::vector<std::string>& aLines = m_cur.aLines;
    aLines.resize(nLines);
    bool bEnded = nLines >= 2 && aLines.back().empty();
    size_t nText = bEnded ? nLines - 1 : nLines;
    std::string strText = aLines[0].substr(m_nHead);
    for (size_t i = 1; i < nText; ++i) {
        strText += m_abCrLf[i - 1] ? "\r\n" : "\n";
        strText += aLines[i];
    }
    m_cur.strText.swap(strText);
    m_cur.bTorn = bTorn || !bEnded;
    if (m_cur.bTorn && !bTorn)
        m_fnReport(m_cur.nLine, "entry not ended by an empty line");
    Emit();
}

void Parser::AddDumpLine(const DumpLine& dump)
{
    if (dump.bLong)
        m_bKeepsValues = true;
    m_cur.abBytes.insert(m_cur.abBytes.end(), dump.abValues.begin(), dump.abValues.end());
    m_nNextOffset = dump.nOffset + kValuesPerLine;
    m_bCutOpen = dump.bCut && dump.abValues.size() < kValuesPerLine;
    if (m_bCutOpen)
        m_lastCut = dump;
    m_state = dump.bShort ? State::DumpEnd : State::Dump;
}

// Records what the last cut line lost, now that it is known whether another line followed.
void Parser::SettleCutLine(bool bLastLine)
{
    if (!m_bCutOpen)
        return;
    m_bCutOpen = false;
    uint64_t nFrom = m_lastCut.nOffset + m_lastCut.abValues.size();
    m_cur.aMissing.push_back(Gap{nFrom, m_lastCut.nOffset + kValuesPerLine - 1});
    if (bLastLine && m_lastCut.nSeen < kValuesPerLine)
        m_cur.bSizeKnown = false;
}

void Parser::FeedDump(const Line& line)
{
    DumpLine dump;
    const std::string& s = line.strText;
    if (s.empty()) {
        SettleCutLine(true);
        if (m_bKeepDumpLines)
            m_cur.aLines.push_back(s);
        EmitDump(false);
        return;
    }
    if (IsIndent(s, m_nHead) && ParseDumpLine(s, m_nHead, dump, m_bKeepsValues) && dump.nOffset == m_nNextOffset &&
        dump.bHex == m_cur.bHex) {
        SettleCutLine(false);
        if (m_bKeepDumpLines && OverBound(s.size() + 32)) {
            m_fnReport(m_cur.nLine, "dump lines past 32 MiB: torn there; reading goes on at the next record");
            EmitDump(true);
            m_state = State::Skip;
            m_bSkipPrevEmpty = false;
            return;
        }
        if (m_bKeepDumpLines)
            m_cur.aLines.push_back(s);
        AddDumpLine(dump);
        return;
    }
    SettleCutLine(true);
    m_fnReport(m_cur.nLine, "dump not ended by an empty line");
    EmitDump(true);
    StartRecord(line);
}

void Parser::FeedDumpEnd(const Line& line)
{
    if (line.strText.empty()) {
        if (m_bKeepDumpLines)
            m_cur.aLines.push_back(line.strText);
        EmitDump(false);
        return;
    }
    m_fnReport(m_cur.nLine, "dump not ended by an empty line");
    EmitDump(true);
    StartRecord(line);
}

void Parser::EmitBanner(bool bTorn)
{
    m_cur.strTime = m_strNameTime;
    m_cur.bTimeFromName = !m_strNameTime.empty();
    m_cur.bTorn = bTorn;
    Emit();
}

void Parser::EmitDump(bool bTorn)
{
    m_cur.bTorn = bTorn;
    if (bTorn)
        m_cur.bSizeKnown = false;
    Emit();
}

void Parser::Emit()
{
    if (m_bBannerHeld && m_cur.kind != Kind::Open && !m_cur.strTime.empty())
        m_queue.back().strTime = OpenTime(m_queue.back().strTime, m_cur.strTime);
    m_bBannerHeld = m_cur.kind == Kind::Open && m_cur.bTimeFromName && !m_cur.bTorn;
    m_queue.push_back(std::move(m_cur));
    m_cur = Record();
    m_cur.strFile = m_strFile;
    m_nCurBytes = 0;
    m_state = State::Between;
}

void Parser::Stray(const Line& line)
{
    if (m_state == State::Start) {
        m_fnReport(line.nNumber, "not a Quillwork log: the first line is neither a banner nor a stamped entry");
        m_bRejected = true;
        return;
    }
    ++m_nStray;
    if (m_nStray <= kStrayReports)
        m_fnReport(line.nNumber, "line outside any record");
    m_state = State::Between;
}

void Parser::Torn(const char* pszWhat)
{
    m_fnReport(m_cur.nLine, std::string("torn last record: ") + pszWhat);
}

void Parser::Idle()
{
    // Two empty lines at the end may be the entry's end and the first line of a banner still
    // being written: such an entry waits for the next record.
    size_t n = m_cur.aLines.size();
    if (!m_bRejected && m_state == State::Entry && n >= 2 && m_cur.aLines[n - 1].empty() &&
        !m_cur.aLines[n - 2].empty())
        FinishEntry(n, false);
    m_bBannerHeld = false;  // shown now, with the folder's date unless a record settled it
}

void Parser::Finish(const std::string& strPartial, uint64_t nPartialLine)
{
    FinishLines(strPartial, nPartialLine);
    m_bBannerHeld = false;
}

// Finish without the release of a held banner.
void Parser::FinishLines(const std::string& strPartial, uint64_t nPartialLine)
{
    if (m_bRejected)
        return;
    bool bPartial = !strPartial.empty();
    std::string strLast = strPartial;
    while (!strLast.empty() && strLast.back() == '\r')
        strLast.pop_back();
    size_t nHave = m_cur.aLines.size();
    if (bPartial && m_state == State::Entry && nHave >= 2 && m_cur.aLines[nHave - 1].empty() &&
        StampBegun(strLast))
        FinishEntry(nHave, false);  // the entry is whole; the cut fell into the next record's stamp
    if (bPartial && (m_state == State::Start || m_state == State::Between)) {
        if (!StartPartial(strLast, nPartialLine))
            return;
    } else if (bPartial) {
        m_cur.aLines.push_back(strLast);
        m_abCrLf.push_back(false);
    }
    CloseRecord(bPartial);
    if (m_nStray > kStrayReports)
        m_fnReport(nPartialLine, std::to_string(m_nStray - kStrayReports) + " more lines outside any record");
}

// At the end of the input: gives out the record under way, torn unless it was whole
// (bPartial: the file ended inside its last line).
void Parser::CloseRecord(bool bPartial)
{
    switch (m_state) {
    case State::Start:
    case State::Between:
    case State::Skip:
        break;
    case State::Banner:
        Torn("banner cut short");
        EmitBanner(true);
        break;
    case State::Entry: {
        size_t n = m_cur.aLines.size();
        bool bWhole = !bPartial && n >= 2 && m_cur.aLines[n - 1].empty();
        if (!bWhole)
            Torn("entry without its closing empty line");
        FinishEntry(n, !bWhole);
        break;
    }
    case State::Dump:
    case State::DumpEnd:
        SettleCutLine(true);
        Torn("dump without its closing empty line");
        EmitDump(true);
        break;
    }
}

// The unfinished last line of a file where a record must start. A line that has begun a
// stamp is a record cut short; false when nothing is left to finish.
bool Parser::StartPartial(const std::string& strLast, uint64_t nLine)
{
    Line line;
    line.strText = strLast;
    line.nNumber = nLine;
    DumpLine dump;
    bool bOut = false;
    if (strLast.empty() || IsEntryStart(strLast) || IsDumpStart(strLast, dump, bOut, false)) {
        StartRecord(line);
        return !m_bRejected;
    }
    if (!StampBegun(strLast)) {
        Stray(line);
        return false;
    }
    // A dump's first line cut short, or an entry or dump cut inside its stamp.
    m_cur.kind = Kind::Dump;
    m_cur.nLine = nLine;
    m_cur.aLines.assign(1, strLast);
    StampHead head;
    if (ParseStampHead(strLast, head) && strLast.size() >= head.nLen + kArrowLen && strLast[head.nLen] == ' ' &&
        strLast[head.nLen + 2] == '-') {
        TakeStamp(strLast, head);
        m_nHead = head.nLen + kArrowLen;
        m_cur.bOut = strLast.compare(head.nLen + 1, 3, "-->") == 0;
        m_cur.bHex = strLast.find("d:") == std::string::npos;
        m_state = State::Dump;
        return true;
    }
    Torn("record cut short inside its stamp");
    m_cur = Record();
    m_cur.strFile = m_strFile;
    return false;
}

bool Parser::Pop(Record& record)
{
    if (m_queue.empty() || (m_bBannerHeld && m_queue.size() == 1))
        return false;
    record = std::move(m_queue.front());
    m_queue.pop_front();
    return true;
}

}  // namespace qwlog
