// The configuration reader for POSIX, with the Windows reading rules: section
// and key compared without regard to case, blanks around them ignored, lines
// starting with ';' ignored, a UTF-8 byte-order mark skipped, one pair of
// quotes around a value removed, the number read as leading digits with an
// optional sign (or 0x for hexadecimal); a missing file, section, key or an
// empty value gives the default. Only a regular file of at most 64 KiB is
// read, and reading never blocks: anything else reads as a missing file.
#include "../LogClass/Platform.h"

#include <ctype.h>
#include <fcntl.h>
#include <string.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace {

const size_t PROFILE_LIMIT = 65536;

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

// The whole of strPath when it is a regular file of at most PROFILE_LIMIT
// bytes. FALSE for anything else; a FIFO or device is never waited on.
bool ReadSmallFile(const std::string& strPath, std::string& strText)
{
    // Closes the descriptor on every way out, an exception from append included.
    struct CClose
    {
        int fd;
        ~CClose()
        {
            if (fd >= 0)
                close(fd);
        }
    } file = { open(strPath.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC) };
    struct stat st;
    if (file.fd < 0 || fstat(file.fd, &st) != 0 || !S_ISREG(st.st_mode) || (unsigned long long)st.st_size > PROFILE_LIMIT)
        return false;
    char szBuf[4096];
    for (;;) {
        ssize_t n = read(file.fd, szBuf, sizeof(szBuf));
        if (n <= 0)
            return n == 0;
        strText.append(szBuf, (size_t)n);
        if (strText.size() > PROFILE_LIMIT)
            return false;  // it grew since fstat
    }
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
            bInSection = strcasecmp(strName.c_str(), pszSection) == 0;
            continue;
        }
        std::string::size_type nEq = strLine.find('=');
        if (!bInSection || nEq == std::string::npos)
            continue;
        if (strcasecmp(Trim(strLine.substr(0, nEq)).c_str(), pszKey) == 0) {
            strValue = Unquote(Trim(strLine.substr(nEq + 1)));
            return true;
        }
    }
    return false;
}

} // namespace

BOOL QwProfileString(const std::string& strIni, const char* pszSection, const char* pszKey, std::string& strValue)
{
    strValue.clear();
    std::string strText;
    if (pszSection == NULL || pszKey == NULL || !ReadSmallFile(strIni, strText))
        return FALSE;
    return FindValue(strText, pszSection, pszKey, strValue) && !strValue.empty();
}

int QwProfileInt(const std::string& strIni, const char* pszSection, const char* pszKey, int nDefault)
{
    std::string strValue;
    if (!QwProfileString(strIni, pszSection, pszKey, strValue))
        return nDefault;
    return (int)(UINT)ParseLeadingInt(strValue);
}

UINT GetPrivateProfileIntA(const char* pszSection, const char* pszKey, int nDefault, const char* pszFile)
{
    if (pszFile == NULL)
        return (UINT)nDefault;
    return (UINT)QwProfileInt(pszFile, pszSection, pszKey, nDefault);
}
