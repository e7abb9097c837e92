// CSettings: the search for the settings file and its one reading.
#include "Settings.h"

#include "Framework.h"

#include <exception>

namespace {

// Sends one trace line; a trace that cannot be made (no memory) is dropped.
void Trace(const std::string& strText)
{
    try {
        QwReport(("Quillwork: " + strText + "\n").c_str());
    } catch (const std::exception&) {
    }
}

} // namespace

CSettings::CSettings()
    : m_nSource(FROM_NONE)
    , m_profile(std::string(), QW_PROFILE_WINDOWS)
{
}

const char* CSettings::SourceName(SOURCE nSource)
{
    switch (nSource) {
    case FROM_VARIABLE:
        return "QUILLWORK_INI";
    case FROM_BESIDE:
        return "beside the host";
    case FROM_SYSTEM:
        return "system";
    default:
        return "none";
    }
}

bool CSettings::HostParts(const std::string& strPath, std::string& strAppDir, std::string& strExeName)
{
    std::string::size_type nSep = strPath.rfind(QW_PATH_SEP);
    if (nSep == std::string::npos) {
        strAppDir = ".";
        strExeName.clear();
        return false;
    }
    strAppDir = strPath.substr(0, nSep);
    strExeName = strPath.substr(nSep + 1);
    std::string::size_type nDot = strExeName.rfind('.');
    if (QW_EXE_EXTENSION && nDot != std::string::npos && nDot > 0)
        strExeName.erase(nDot);
    return true;
}

void CSettings::Load(const std::string& strAppDir, const std::string& strExeName)
{
    m_places.clear();
    std::string strVariable;
    if (QwSettingsVariable(strVariable)) {
        std::string strPath = QwIsAbsolutePath(strVariable) ? strVariable : strAppDir + QW_PATH_SEP_STR + strVariable;
        if (Try(FROM_VARIABLE, strPath))
            return;
        Trace("QUILLWORK_INI names " + strPath + ", which does not exist; looking further");
    }
    if (Try(FROM_BESIDE, strAppDir + QW_PATH_SEP_STR + "Quillwork.ini"))
        return;
    std::string strSystem;
    if (!strExeName.empty() && QwSystemSettingsFolder(strSystem))
        Try(FROM_SYSTEM, strSystem + QW_PATH_SEP_STR + strExeName + ".ini");
}

bool CSettings::Try(SOURCE nSource, const std::string& strPath)
{
    CPlace place;
    place.nSource = nSource;
    place.strPath = strPath;
    std::string strText;
    place.nRead = QwReadSettingsFile(strPath, strText, place.strWhy);
    m_places.push_back(place);
    if (place.nRead == QW_SETTINGS_MISSING)
        return false;
    m_strPath = strPath;
    m_nSource = nSource;
    if (place.nRead == QW_SETTINGS_READ) {
        m_profile = CProfile(strText, QW_PROFILE_WINDOWS);
        return true;
    }
    Trace("cannot read the settings file " + strPath + " (" + place.strWhy + "); the defaults are in force");
    return true;
}

int CSettings::Int(const char* pszSection, const char* pszKey, int nDefault) const
{
    return m_profile.Int(pszSection, pszKey, nDefault);
}

BOOL CSettings::Flag(const char* pszSection, const char* pszKey) const
{
    return m_profile.Int(pszSection, pszKey, 0) == 1 ? TRUE : FALSE;
}

bool CSettings::String(const char* pszSection, const char* pszKey, std::string& strValue) const
{
    return m_profile.String(pszSection, pszKey, strValue);
}
