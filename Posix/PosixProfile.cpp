// GetPrivateProfileIntA for POSIX, with the Windows reading rules: section and
// key compared without regard to case, blanks around them ignored, comments
// after ';', the number read as leading digits with an optional sign (or 0x
// for hexadecimal); a missing file, section, key or an empty value gives the
// default.
#include "Win32Posix.h"

#include <ctype.h>
#include <stdio.h>
#include <strings.h>

#include <string>

namespace {

// The text with blanks removed from both ends.
std::string Trim(const std::string& str)
{
    std::string::size_type nBegin = str.find_first_not_of(" \t\r\n");
    if (nBegin == std::string::npos)
        return std::string();
    std::string::size_type nEnd = str.find_last_not_of(" \t\r\n");
    return str.substr(nBegin, nEnd - nBegin + 1);
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

// Finds the value of pszKey in section pszSection of pFile. FALSE when absent.
bool FindValue(FILE* pFile, const char* pszSection, const char* pszKey, std::string& strValue)
{
    bool bInSection = false;
    char szLine[4096];
    while (fgets(szLine, sizeof(szLine), pFile) != NULL) {
        std::string strLine = Trim(szLine);
        if (strLine.empty() || strLine[0] == ';')
            continue;
        if (strLine[0] == '[') {
            std::string::size_type nClose = strLine.find(']');
            std::string strName = Trim(strLine.substr(1, nClose == std::string::npos ? std::string::npos : nClose - 1));
            bInSection = strcasecmp(strName.c_str(), pszSection) == 0;
            continue;
        }
        std::string::size_type nEq = strLine.find('=');
        if (!bInSection || nEq == std::string::npos)
            continue;
        if (strcasecmp(Trim(strLine.substr(0, nEq)).c_str(), pszKey) == 0) {
            strValue = Trim(strLine.substr(nEq + 1));
            return true;
        }
    }
    return false;
}

} // namespace

UINT GetPrivateProfileIntA(const char* pszSection, const char* pszKey, int nDefault, const char* pszFile)
{
    if (pszSection == NULL || pszKey == NULL || pszFile == NULL)
        return (UINT)nDefault;
    FILE* pFile = fopen(pszFile, "rb");
    if (pFile == NULL)
        return (UINT)nDefault;
    std::string strValue;
    bool bFound = FindValue(pFile, pszSection, pszKey, strValue);
    fclose(pFile);
    if (!bFound || strValue.empty())
        return (UINT)nDefault;
    return (UINT)ParseLeadingInt(strValue);
}
