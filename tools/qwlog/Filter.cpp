#include "Filter.h"

#include "DumpLine.h"

namespace qwlog {

namespace {

// True for a prefix of "YYYY-MM-DD HH:MM:SS" that ends after a whole field.
bool IsTimePrefix(const std::string& s)
{
    static const char kPattern[] = "dddd-dd-dd dd:dd:dd";
    if (s.size() != 4 && s.size() != 7 && s.size() != 10 && s.size() != 13 && s.size() != 16 && s.size() != 19)
        return false;
    for (size_t i = 0; i < s.size(); ++i) {
        bool bDigit = s[i] >= '0' && s[i] <= '9';
        if (kPattern[i] == 'd' ? !bDigit : s[i] != kPattern[i])
            return false;
    }
    return true;
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
    strError = "--since wants a time as YYYY-MM-DD[ HH[:MM[:SS]]], not '" + strTime + "'";
    return false;
}

bool Filter::SetUntil(const std::string& strTime, std::string& strError)
{
    m_strUntil = NormalTime(strTime);
    if (IsTimePrefix(m_strUntil))
        return true;
    strError = "--until wants a time as YYYY-MM-DD[ HH[:MM[:SS]]], not '" + strTime + "'";
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

bool Filter::Accept(const Record& record, const std::string& strText) const
{
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
