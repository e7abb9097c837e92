// CSettings: the settings of one object, found and read once at construction.
// The file is the first that exists of: the file QUILLWORK_INI names (a name
// without a folder is taken from the host's folder; a privileged process reads
// no environment), Quillwork.ini beside the host, and the system's file for the
// host (/etc/quillwork/<host>.ini, %ProgramData%\Quillwork\<host>.ini). That
// file is read whole and parsed once; every part of the object takes its keys
// from here. A file that exists but cannot be read is reported and leaves the
// defaults in force: the next location is not read in its place.
#ifndef QUILLWORK_SETTINGS_H
#define QUILLWORK_SETTINGS_H

#include "Platform.h"
#include "Profile.h"

#include <string>
#include <vector>

class CSettings
{
public:
    // Where the settings in force come from.
    enum SOURCE { FROM_NONE, FROM_VARIABLE, FROM_BESIDE, FROM_SYSTEM };

    // One location looked at, in the order of the search.
    struct CPlace
    {
        SOURCE nSource;
        std::string strPath;
        QW_SETTINGS_FILE nRead;      // what reading it gave
        std::string strWhy; // the system's reason when it could not be read
    };

    CSettings();

    // Finds and reads the settings of the host whose executable strExeName
    // (without extension on Windows) lies in strAppDir. Each location that is
    // missing or cannot be read is reported (QwReport) with its reason.
    void Load(const std::string& strAppDir, const std::string& strExeName);

    // The file in force ("" when none), where it was found, and every location
    // looked at up to it.
    const std::string& Path() const { return m_strPath; }
    SOURCE Source() const { return m_nSource; }
    const std::vector<CPlace>& Places() const { return m_places; }

    // The integer of pszKey in pszSection as GetPrivateProfileInt reads it;
    // nDefault when missing.
    int Int(const char* pszSection, const char* pszKey, int nDefault) const;
    // TRUE only when the value of pszKey is exactly 1.
    BOOL Flag(const char* pszSection, const char* pszKey) const;
    // The text of pszKey; FALSE when missing or empty.
    bool String(const char* pszSection, const char* pszKey, std::string& strValue) const;

    // Splits the host executable's path into its folder (no trailing separator)
    // and its name (without extension on Windows). FALSE when the path holds no
    // separator: the folder is then "." and the name empty.
    static bool HostParts(const std::string& strPath, std::string& strAppDir, std::string& strExeName);

    // The name of a source, for reports and the reader ("QUILLWORK_INI", ...).
    static const char* SourceName(SOURCE nSource);

private:
    // Looks at one location; TRUE when the search ends there.
    bool Try(SOURCE nSource, const std::string& strPath);

    std::string m_strPath;
    SOURCE m_nSource;
    CProfile m_profile;
    std::vector<CPlace> m_places;
};

#endif
