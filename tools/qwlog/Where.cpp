// qwlog where: the library's CSettings and CLogFolder run for another host.
#include "Where.h"

#include "Framework.h"
#include "LogFolder.h"
#include "Settings.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace qwlog {

namespace {

// The keys the library reads, in the order they are printed.
const struct { const char* pszSection; const char* pszKey; } kKeys[] = {
    {"CONSOLE", "OPEN"}, {"LOG", "DIR"},   {"LOG", "KEEPDAYS"},  {"LOG", "KEEPMB"}, {"LOG", "DAILY"},
    {"LOG", "MAXFILEMB"}, {"LOG", "SYNC"}, {"LOG", "ECHO"},      {"LOG", "STAMP"},  {"LOG", "THREAD"},
    {"LOG", "CRASH"},
};

// The library's traces while the search runs, one a line.
std::vector<std::string> g_traces;

void KeepTrace(const char* pszText)
{
    std::string strText = pszText;
    while (!strText.empty() && (strText.back() == '\n' || strText.back() == '\r'))
        strText.pop_back();
    g_traces.push_back(strText);
}

#if defined(_WIN32)
// TRUE when strName names a program: it ends in .exe, in any case.
bool IsProgramName(std::string strName, fs::perms)
{
    std::transform(strName.begin(), strName.end(), strName.begin(), [](unsigned char c) { return (char)std::tolower(c); });
    return strName.size() > 4 && strName.compare(strName.size() - 4, 4, ".exe") == 0;
}
#else
// TRUE when a file of that name and permissions is a program: its owner may
// run it, and it is no shared library.
bool IsProgramName(const std::string& strName, fs::perms nPerms)
{
    return (nPerms & fs::perms::owner_exec) != fs::perms::none && strName.find(".so") == std::string::npos;
}
#endif

// TRUE when entry is a file a host could be started from.
bool IsProgram(const fs::directory_entry& entry)
{
    std::error_code ec;
    return entry.is_regular_file(ec) && IsProgramName(entry.path().filename().string(), entry.status(ec).permissions());
}

// The host executable strHost names: the file itself, or the one program in
// the folder. "" (and a message) when there is none or more than one.
std::string HostProgram(const std::string& strHost)
{
    std::error_code ec;
    fs::path path = fs::absolute(strHost.empty() ? fs::path(".") : fs::path(strHost), ec);
    if (!fs::is_directory(path, ec))
        return fs::exists(path, ec) ? fs::weakly_canonical(path, ec).string() : "";
    std::vector<std::string> programs;
    for (const fs::directory_entry& entry : fs::directory_iterator(path, ec))
        if (IsProgram(entry))
            programs.push_back(entry.path().string());
    if (programs.size() == 1)
        return fs::weakly_canonical(programs[0], ec).string();
    std::fprintf(stderr, "qwlog where: %s holds %s; name the host executable\n", path.string().c_str(),
                 programs.empty() ? "no program" : "more than one program");
    return "";
}

// What reading one location gave, in words.
std::string ReadResult(const CSettings::CPlace& place)
{
    switch (place.nRead) {
    case QW_SETTINGS_READ:
        return "read";
    case QW_SETTINGS_MISSING:
        return "missing";
    default:
        return "cannot be read (" + place.strWhy + "): the defaults are in force";
    }
}

void PrintSettings(const CSettings& settings)
{
    std::printf("settings file: %s\n", settings.Path().empty() ? "(none: the defaults are in force)" : settings.Path().c_str());
    std::printf("settings from: %s\n", CSettings::SourceName(settings.Source()));
    std::string strVariable;
    if (!QwSettingsVariable(strVariable))
        std::printf("  looked at: QUILLWORK_INI: not set\n");
    for (const CSettings::CPlace& place : settings.Places())
        std::printf("  looked at: %s: %s: %s\n", CSettings::SourceName(place.nSource), place.strPath.c_str(),
                    ReadResult(place).c_str());
}

void PrintKeys(const CSettings& settings)
{
    std::printf("keys in force:\n");
    for (const auto& key : kKeys) {
        std::string strValue;
        bool bSet = settings.String(key.pszSection, key.pszKey, strValue);
        std::printf("  [%s] %s = %s\n", key.pszSection, key.pszKey, bSet ? strValue.c_str() : "(not set)");
    }
}

}  // namespace

int Where(const std::string& strHost)
{
    std::string strProgram = HostProgram(strHost);
    if (strProgram.empty()) {
        if (!strHost.empty())
            std::fprintf(stderr, "qwlog where: no host executable at %s\n", strHost.c_str());
        return 2;
    }
    std::string strAppDir, strExeName;
    CSettings::HostParts(strProgram, strAppDir, strExeName);
    std::printf("host: %s\n", strProgram.c_str());

    PFN_QWREPORT pfnOld = QwSetReportSink(&KeepTrace);
    CSettings settings;
    settings.Load(strAppDir, strExeName);
    CLogFolder folder;
    folder.ReadSettings(settings);
    char szDate[20] = {0};
    QwFormatNow(szDate, sizeof(szDate), "%Y-%m-%d");
    std::vector<std::string> made;
    CLogFolder::RecordMadeFolders(&made);
    std::string strDay;
    BOOL bFolder = folder.CreateLogDir(strAppDir, strExeName, szDate, strDay);
    CLogFolder::RecordMadeFolders(NULL);
    QwSetReportSink(pfnOld);
    // The host makes its folders itself, as its own user: none stays made by this reader.
    for (auto it = made.rbegin(); it != made.rend(); ++it) {
        std::error_code ec;
        fs::remove(*it, ec);
    }

    PrintSettings(settings);
    if (bFolder)
        std::printf("log folder: %s\nday folder: %s\n", folder.Root().c_str(), strDay.c_str());
    else
        std::printf("log folder: (none: Open will fail)\n");
    for (const std::string& strTrace : g_traces)
        std::printf("  why: %s\n", strTrace.c_str());
    PrintKeys(settings);
    return 0;
}

}  // namespace qwlog
