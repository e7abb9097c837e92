#include "Commands.h"
#include "LogSource.h"
#include "Parser.h"
#include "Platform.h"

#include <algorithm>
#include <map>
#include <memory>

namespace qwlog {

namespace {

struct Head
{
    std::unique_ptr<LogSource> pSource;
    Record record;
    std::string strKey;
    bool bHas = false;
    uint64_t nUsed = 0;  // when it was last read, for closing the least recently read
};

// Closes the open file read longest ago, but not pKeep, while more than nMaxOpen are open.
void Limit(std::vector<Head>& aHeads, size_t nMaxOpen, const Head* pKeep)
{
    size_t nOpen = 0;
    for (const Head& head : aHeads)
        nOpen += head.pSource->IsOpen() ? 1 : 0;
    while (nOpen > nMaxOpen) {
        Head* pOldest = nullptr;
        for (Head& head : aHeads) {
            if (&head != pKeep && head.pSource->IsOpen() && (pOldest == nullptr || head.nUsed < pOldest->nUsed))
                pOldest = &head;
        }
        if (pOldest == nullptr)
            return;
        pOldest->pSource->Suspend();
        --nOpen;
    }
}

// The files in the order to merge them in: as named, but the files of one run (one log folder,
// one tail after the time of day) in the order the library wrote them (day folder, then name
// in byte order), in the places the run's files were named in. So the records of one second
// keep the run's order whatever order a shell's locale sorted the names in.
std::vector<std::string> InRunOrder(const std::vector<std::string>& aFiles)
{
    std::map<std::string, std::vector<size_t>> runs;  // log folder and tail: the places named
    std::vector<std::string> aKeys(aFiles.size());     // day folder and name
    for (size_t i = 0; i < aFiles.size(); ++i) {
        const std::string& strPath = aFiles[i];
        size_t nName = strPath.find_last_of("/\\");
        size_t nDay = nName == std::string::npos || nName == 0 ? std::string::npos : strPath.find_last_of("/\\", nName - 1);
        std::string strDay = strPath.substr(nDay == std::string::npos ? 0 : nDay + 1,
                                            nName == std::string::npos ? 0 : nName - (nDay == std::string::npos ? 0 : nDay + 1));
        std::string strTail = TailOfName(strPath.substr(nName == std::string::npos ? 0 : nName + 1));
        if (strTail.empty() || !IsDayFolderName(strDay))
            continue;
        aKeys[i] = strDay + "/" + strPath.substr(nName + 1);
        runs[strPath.substr(0, nDay == std::string::npos ? 0 : nDay) + "\n" + strTail].push_back(i);
    }
    std::vector<std::string> aOrdered(aFiles);
    for (const auto& run : runs) {
        std::vector<size_t> aByKey(run.second);
        std::stable_sort(aByKey.begin(), aByKey.end(), [&aKeys](size_t a, size_t b) { return aKeys[a] < aKeys[b]; });
        for (size_t k = 0; k < aByKey.size(); ++k)
            aOrdered[run.second[k]] = aFiles[aByKey[k]];
    }
    return aOrdered;
}

}  // namespace

void MergeFiles(const std::vector<std::string>& aFiles, bool bKeepDumpLines, size_t nMaxOpen,
                const ProblemFn& fnProblem, const RecordFn& fnRecord)
{
    std::vector<Head> aHeads;
    aHeads.reserve(aFiles.size());
    uint64_t nClock = 0;
    auto advance = [&](Head& head) {
        head.nUsed = ++nClock;
        head.bHas = head.pSource->Next(head.record);
        if (head.bHas && !head.record.strTime.empty())
            head.strKey = head.record.strTime;
        Limit(aHeads, nMaxOpen, &head);
    };
    for (const std::string& strPath : InRunOrder(aFiles)) {
        Head head;
        head.pSource.reset(new LogSource(strPath, [strPath, fnProblem](uint64_t nLine, const std::string& strWhat) {
            fnProblem(strPath, nLine, strWhat);
        }, bKeepDumpLines));
        if (!head.pSource->Open())
            continue;
        aHeads.push_back(std::move(head));
        advance(aHeads.back());
    }
    for (;;) {
        Head* pBest = nullptr;
        for (Head& head : aHeads) {
            if (head.bHas && (pBest == nullptr || head.strKey < pBest->strKey))
                pBest = &head;
        }
        if (pBest == nullptr)
            break;
        fnRecord(pBest->record);
        advance(*pBest);
    }
}

}  // namespace qwlog
