#include "Commands.h"
#include "LogSource.h"
#include "Parser.h"

#include <filesystem>
#include <memory>
#include <system_error>

namespace qwlog {

namespace {

namespace fs = std::filesystem;

// The file of the same run that comes right after strPath: in its day folder or a later
// day folder beside it, the first name (day folder, then name in byte order, which is the
// order the library writes them in) after strPath's that has the same tail. Empty when
// there is none yet, or when strPath is not a file of a day folder named as the library
// names them.
std::string NextOfRun(const std::string& strPath)
{
    fs::path path(strPath);
    if (!IsDayFolderName(path.parent_path().filename().string())) {
        std::error_code ec;
        path = fs::absolute(path, ec).lexically_normal();  // "./090307_name.log" in the day folder
    }
    const std::string strName = path.filename().string();
    const std::string strTail = TailOfName(strName);
    const fs::path folder = path.parent_path();
    const std::string strDay = folder.filename().string();
    if (strTail.empty() || !IsDayFolderName(strDay))
        return std::string();
    std::string strBestDay, strBestName;
    auto consider = [&](const std::string& strInDay, const fs::path& dayFolder) {
        std::error_code ec;
        for (fs::directory_iterator it(dayFolder, ec), end; !ec && it != end; it.increment(ec)) {
            const std::string strCandidate = it->path().filename().string();
            if (TailOfName(strCandidate) != strTail || (strInDay == strDay && strCandidate <= strName))
                continue;
            if (strBestDay.empty() || strInDay < strBestDay || (strInDay == strBestDay && strCandidate < strBestName)) {
                strBestDay = strInDay;
                strBestName = strCandidate;
            }
        }
    };
    consider(strDay, folder.empty() ? fs::path(".") : folder);
    if (strBestDay.empty()) {
        std::error_code ec;
        const fs::path root = folder.parent_path().empty() ? fs::path(".") : folder.parent_path();
        for (fs::directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
            const std::string strLater = it->path().filename().string();
            if (IsDayFolderName(strLater) && strLater > strDay && (strBestDay.empty() || strLater <= strBestDay))
                consider(strLater, it->path());
        }
    }
    if (strBestDay.empty())
        return std::string();
    return (strBestDay == strDay ? folder / strBestName : folder.parent_path() / strBestDay / strBestName).string();
}

}  // namespace

int FollowFile(const std::string& strPath, bool bByName, bool bKeepDumpLines, const ProblemFn& fnProblem,
               const RecordFn& fnRecord, const std::function<bool()>& fnIdle)
{
    auto open = [&](const std::string& strFile) {
        return std::unique_ptr<LogSource>(new LogSource(strFile, [strFile, fnProblem](uint64_t nLine, const std::string& strWhat) {
            fnProblem(strFile, nLine, strWhat);
        }, bKeepDumpLines));
    };
    std::unique_ptr<LogSource> pSource = open(strPath);
    if (!pSource->Open())
        return 1;
    Record record;
    for (;;) {
        while (pSource->NextSoFar(record))
            fnRecord(record);
        if (pSource->Rejected())
            return 1;
        if (pSource->RestartIfTruncated())
            continue;
        if (bByName && pSource->Replaced()) {
            pSource->FinishNow();
            while (pSource->Next(record))
                fnRecord(record);
            if (pSource->SwitchToNamed())
                continue;
        }
        // The run went on in a newer file (MAXFILEMB, DAILY): the writer left this one before
        // it made that one, so what this one holds now is all it will hold.
        const std::string strNext = NextOfRun(pSource->Path());
        if (!strNext.empty()) {
            std::unique_ptr<LogSource> pNext = open(strNext);
            if (pNext->Open()) {
                while (pSource->NextSoFar(record))
                    fnRecord(record);
                pSource->FinishNow();
                while (pSource->Next(record))
                    fnRecord(record);
                fnProblem(pSource->Path(), 0, "the run goes on in " + strNext + "; following it from its start");
                pSource = std::move(pNext);
                continue;
            }
        }
        if (!fnIdle())
            return 1;
    }
}

}  // namespace qwlog
