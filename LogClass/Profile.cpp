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

// The leading number of a value: optional sign, then decimal or 0x digits;
// text without digits reads 0.
long ParseLeadingInt(const std::string& strValue)
{
    const char* p = strValue.c_str();
    bool bNegative = false;
    if (*p == '+' || *p == '-')
        bNegative = (*p++ == '-');
    int nBase = 10;
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && isxdigit((unsigned char)p[2])) {
        nBase = 16;
        p += 2;
    }
    unsigned long nValue = 0;
    for (;; ++p) {
        int nDigit;
        if (isdigit((unsigned char)*p))
            nDigit = *p - '0';
        else if (nBase == 16 && isxdigit((unsigned char)*p))
            nDigit = tolower((unsigned char)*p) - 'a' + 10;
        else
            break;
        nValue = nValue * (unsigned long)nBase + (unsigned long)nDigit;
        nValue &= 0xFFFFFFFFul;
    }
    return bNegative ? -(long)nValue : (long)nValue;
}

// Finds the value of pszKey in section pszSection of the text. FALSE when absent.
bool FindValue(const std::string& strText, const char* pszSection, const char* pszKey, std::string& strValue)
{
    bool bInSection = false;
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
            bInSection = CompareNoCase(strName.c_str(), pszSection) == 0;
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

CProfile::CProfile(const std::string& strText)
    : m_strText(strText)
{
}

bool CProfile::String(const char* pszSection, const char* pszKey, std::string& strValue) const
{
    strValue.clear();
    if (pszSection == NULL || pszKey == NULL)
        return false;
    return FindValue(m_strText, pszSection, pszKey, strValue) && !strValue.empty();
}

int CProfile::Int(const char* pszSection, const char* pszKey, int nDefault) const
{
    std::string strValue;
    if (!String(pszSection, pszKey, strValue))
        return nDefault;
    return (int)(unsigned int)ParseLeadingInt(strValue);
}
