#include "Commands.h"
#include "LogSource.h"
#include "Platform.h"

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
    for (const std::string& strPath : aFiles) {
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
