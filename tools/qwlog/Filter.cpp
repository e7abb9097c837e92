#include "Filter.h"

#include "DumpLine.h"

namespace qwlog {

namespace {

// The number of the two digits at s[nPos].
int Two(const std::string& s, size_t nPos)
{
    return (s[nPos] - '0') * 10 + (s[nPos + 1] - '0');
}

// True when the fields of a time prefix name a real date and time of day (a leap second
// included, as a stamp can hold one).
bool FieldsInRange(const std::string& s)
{
    static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int nYear = std::stoi(s.substr(0, 4));
    bool bLeap = (nYear % 4 == 0 && nYear % 100 != 0) || nYear % 400 == 0;
    int nMonth = s.size() >= 7 ? Two(s, 5) : 1;
    if (nMonth < 1 || nMonth > 12)
        return false;
    int nDay = s.size() >= 10 ? Two(s, 8) : 1;
    if (nDay < 1 || nDay > kDays[nMonth - 1] || (nMonth == 2 && nDay == 29 && !bLeap))
        return false;
    return (s.size() < 13 || Two(s, 11) <= 23) && (s.size() < 16 || Two(s, 14) <= 59) &&
           (s.size() < 19 || Two(s, 17) <= 60);
}

// True for a prefix of "YYYY-MM-DD HH:MM:SS" that ends after a whole field, or the whole of it
// with a fraction of 1 to 9 digits (".5", ".123", ".123456").
bool IsTimePrefix(const std::string& s)
{
    static const char kPattern[] = "dddd-dd-dd dd:dd:dd";
    if (s.size() > 19) {
        size_t nDigits = s.size() - 20;
        return s[19] == '.' && nDigits >= 1 && nDigits <= 9 &&
               s.find_first_not_of("0123456789", 20) == std::string::npos && IsTimePrefix(s.substr(0, 19));
    }
    if (s.size() != 4 && s.size() != 7 && s.size() != 10 && s.size() != 13 && s.size() != 16 && s.size() != 19)
        return false;
    for (size_t i = 0; i < s.size(); ++i) {
        bool bDigit = s[i] >= '0' && s[i] <= '9';
        if (kPattern[i] == 'd' ? !bDigit : s[i] != kPattern[i])
            return false;
    }
    return FieldsInRange(s);
}

// Accepts "T" between date and time as well as a space.
std::string NormalTime(std::string s)
{
    if (s.size() > 10 && s[10] == 'T')
        s[10] = ' ';
    return s;
}

}  // namespace

std::string HexOf(const std::vector<unsigned char>& abBytes)
{
    static const char kDigits[] = "0123456789abcdef";
    std::string strHex;
    strHex.reserve(abBytes.size() * 2);
    for (unsigned char b : abBytes) {
        strHex += kDigits[b >> 4];
        strHex += kDigits[b & 15];
    }
    return strHex;
}

bool Filter::SetSince(const std::string& strTime, std::string& strError)
{
    m_strSince = NormalTime(strTime);
    if (IsTimePrefix(m_strSince))
        return true;
    strError = "--since wants a real time as YYYY-MM-DD[ HH[:MM[:SS[.fraction]]]], not '" + strTime + "'";
    return false;
}

bool Filter::SetUntil(const std::string& strTime, std::string& strError)
{
    m_strUntil = NormalTime(strTime);
    if (IsTimePrefix(m_strUntil))
        return true;
    strError = "--until wants a real time as YYYY-MM-DD[ HH[:MM[:SS[.fraction]]]], not '" + strTime + "'";
    return false;
}

bool Filter::SetKinds(const std::vector<std::string>& aKinds, std::string& strError)
{
    if (aKinds.empty())
        return true;
    for (bool& b : m_abKind)
        b = false;
    for (const std::string& strKind : aKinds) {
        if (strKind == "open") m_abKind[0] = true;
        else if (strKind == "entry") m_abKind[1] = true;
        else if (strKind == "dump") m_abKind[2] = true;
        else {
            strError = "--kind is open, entry or dump, not '" + strKind + "'";
            return false;
        }
    }
    return true;
}

bool Filter::SetDir(const std::string& strDir, std::string& strError)
{
    if (strDir.empty()) m_nDir = 0;
    else if (strDir == "out") m_nDir = 1;
    else if (strDir == "in") m_nDir = 2;
    else {
        strError = "--dir is in or out, not '" + strDir + "'";
        return false;
    }
    return true;
}

bool Filter::SetGrep(const std::string& strPattern, std::string& strError)
{
    if (strPattern.empty())
        return true;
    std::string strWhy;
    if (!m_grep.Compile(strPattern, strWhy)) {
        strError = "--grep: not a regular expression qwlog takes: " + strWhy;
        return false;
    }
    m_bGrep = true;
    return true;
}

bool Filter::SetThread(const std::string& strThread, std::string& strError)
{
    if (strThread.empty() || strThread.size() > 10 || strThread.find_first_not_of("0123456789") != std::string::npos) {
        strError = "--thread wants a thread id (decimal digits), not '" + strThread + "'";
        return false;
    }
    m_bThread = true;
    m_nThread = std::stoull(strThread);
    return true;
}

// Times compare as text: digits stand at the same places in every form, and a stamp without
// a fraction sorts before the same second with one (it is taken as .000). --until takes the
// whole span of what it names: "...:07" all of that second, "...:07.5" up to .599999.
bool Filter::Accept(const Record& record, const std::string& strText) const
{
    if (m_bThread && (!record.bThread || record.nThread != m_nThread))
        return false;
    if (!m_abKind[(int)record.kind])
        return false;
    if (m_nDir != 0 && (record.kind != Kind::Dump || record.bOut != (m_nDir == 1)))
        return false;
    if (!m_strSince.empty() && (record.strTime.empty() || record.strTime < m_strSince))
        return false;
    if (!m_strUntil.empty() &&
        (record.strTime.empty() || record.strTime.compare(0, m_strUntil.size(), m_strUntil) > 0))
        return false;
    if (m_bGrep) {
        if (record.kind == Kind::Open)
            return false;
        const std::string& strHay = record.kind == Kind::Entry ? strText : HexOf(record.abBytes);
        if (!m_grep.Search(strHay))
            return false;
    }
    return true;
}

}  // namespace qwlog
