// CProfile: the text of a configuration file, read with the Windows reading
// rules on every platform: section and key compared without regard to case,
// blanks around them ignored, lines starting with ';' ignored, a UTF-8
// byte-order mark skipped, one pair of quotes around a value removed, a number
// read as its leading digits with an optional sign (or 0x for hexadecimal).
// With bWindows the text is read as the Windows reader reads it: only the first
// section of a name counts, and 0b and 0o prefixes give binary and octal.
#ifndef QUILLWORK_PROFILE_H
#define QUILLWORK_PROFILE_H

#include <string>

class CProfile
{
public:
    explicit CProfile(const std::string& strText = std::string(), bool bWindows = false);

    // The value of pszKey in section pszSection; FALSE when it is missing or empty.
    bool String(const char* pszSection, const char* pszKey, std::string& strValue) const;

    // The leading number of the value, as GetPrivateProfileInt reads it;
    // nDefault when the value is missing or empty.
    int Int(const char* pszSection, const char* pszKey, int nDefault) const;

private:
    std::string m_strText;
    bool m_bWindows;
};

#endif
