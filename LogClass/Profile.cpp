// CProfile: configuration text with the Windows reading rules.
#include "Profile.h"

#include <ctype.h>
#include <string.h>

namespace {

// strcasecmp for ASCII names, on every platform.
int CompareNoCase(const char* psz1, const char* psz2)
{
    for (;; ++psz1, ++psz2) {
        int n1 = tolower((unsigned char)*psz1), n2 = tolower((unsigned char)*psz2);
        if (n1 != n2 || n1 == 0)
            return n1 - n2;
    }
}

// The text with blanks removed from both ends.
std::string Trim(const std::string& str)
{
    std::string::size_type nBegin = str.find_first_not_of(" \t\r\n");
    if (nBegin == std::string::npos)
        return std::string();
    std::string::size_type nEnd = str.find_last_not_of(" \t\r\n");
    return str.substr(nBegin, nEnd - nBegin + 1);
}

// The value without one pair of matching quotes around it.
std::string Unquote(const std::string& str)
{
    if (str.size() >= 2 && (str[0] == '"' || str[0] == '\'') && str[str.size() - 1] == str[0])
        return str.substr(1, str.size() - 2);
    return str;
}

// The base a prefix of p gives (0x, and with bWindows 0b and 0o), 10 without one.
int PrefixBase(const char* p, bool bWindows)
{
    if (p[0] != '0')
        return 10;
    char c = (char)tolower((unsigned char)p[1]);
    if (c == 'x' && isxdigit((unsigned char)p[2]))
        return 16;
    if (bWindows && c == 'b' && (p[2] == '0' || p[2] == '1'))
        return 2;
    if (bWindows && c == 'o' && p[2] >= '0' && p[2] <= '7')
        return 8;
    return 10;
}

// The value of one digit in nBase; -1 when c is none.
int DigitValue(char c, int nBase)
{
    int nDigit = -1;
    if (isdigit((unsigned char)c))
        nDigit = c - '0';
    else if (isxdigit((unsigned char)c))
        nDigit = tolower((unsigned char)c) - 'a' + 10;
    return nDigit < nBase ? nDigit : -1;
}

// The leading number of a value: optional sign, then decimal or prefixed
// digits (PrefixBase); text without digits reads 0. Kept to 32 bits.
long ParseLeadingInt(const std::string& strValue, bool bWindows)
{
    const char* p = strValue.c_str();
    bool bNegative = false;
    if (*p == '+' || *p == '-')
        bNegative = (*p++ == '-');
    int nBase = PrefixBase(p, bWindows);
    if (nBase != 10)
        p += 2;
    unsigned long nValue = 0;
    for (int nDigit; (nDigit = DigitValue(*p, nBase)) >= 0; ++p)
        nValue = (nValue * (unsigned long)nBase + (unsigned long)nDigit) & 0xFFFFFFFFul;
    return bNegative ? -(long)nValue : (long)nValue;
}

// Finds the value of pszKey in section pszSection of the text. FALSE when
// absent. With bFirstOnly only the first section of that name is searched.
bool FindValue(const std::string& strText, const char* pszSection, const char* pszKey, bool bFirstOnly,
               std::string& strValue)
{
    bool bInSection = false, bSeen = false;
    std::string::size_type nPos = strText.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    while (nPos < strText.size()) {
        std::string::size_type nEnd = strText.find('\n', nPos);
        if (nEnd == std::string::npos)
            nEnd = strText.size();
        std::string strLine = Trim(strText.substr(nPos, nEnd - nPos));
        nPos = nEnd + 1;
        if (strLine.empty() || strLine[0] == ';')
            continue;
        if (strLine[0] == '[') {
            std::string::size_type nClose = strLine.find(']');
            std::string strName = Trim(strLine.substr(1, nClose == std::string::npos ? std::string::npos : nClose - 1));
            bool bMatch = CompareNoCase(strName.c_str(), pszSection) == 0;
            if (bInSection && bFirstOnly)
                return false;
            bInSection = bMatch && !(bFirstOnly && bSeen);
            bSeen = bSeen || bMatch;
            continue;
        }
        std::string::size_type nEq = strLine.find('=');
        if (!bInSection || nEq == std::string::npos)
            continue;
        if (CompareNoCase(Trim(strLine.substr(0, nEq)).c_str(), pszKey) == 0) {
            strValue = Unquote(Trim(strLine.substr(nEq + 1)));
            return true;
        }
    }
    return false;
}

} // namespace

CProfile::CProfile(const std::string& strText, bool bWindows)
    : m_strText(strText)
    , m_bWindows(bWindows)
{
}

bool CProfile::String(const char* pszSection, const char* pszKey, std::string& strValue) const
{
    strValue.clear();
    if (pszSection == NULL || pszKey == NULL)
        return false;
    return FindValue(m_strText, pszSection, pszKey, m_bWindows, strValue) && !strValue.empty();
}

int CProfile::Int(const char* pszSection, const char* pszKey, int nDefault) const
{
    std::string strValue;
    if (!String(pszSection, pszKey, strValue))
        return nDefault;
    return (int)(unsigned int)ParseLeadingInt(strValue, m_bWindows);
}
