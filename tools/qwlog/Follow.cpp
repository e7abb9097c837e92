#include "Commands.h"
#include "LogSource.h"

namespace qwlog {

int FollowFile(const std::string& strPath, bool bByName, bool bKeepDumpLines, const ProblemFn& fnProblem,
               const RecordFn& fnRecord, const std::function<bool()>& fnIdle)
{
    LogSource source(strPath, [strPath, fnProblem](uint64_t nLine, const std::string& strWhat) {
        fnProblem(strPath, nLine, strWhat);
    }, bKeepDumpLines);
    if (!source.Open())
        return 1;
    Record record;
    for (;;) {
        while (source.NextSoFar(record))
            fnRecord(record);
        if (source.Rejected())
            return 1;
        if (source.RestartIfTruncated())
            continue;
        if (bByName && source.Replaced()) {
            source.FinishNow();
            while (source.Next(record))
                fnRecord(record);
            if (source.SwitchToNamed())
                continue;
        }
        if (!fnIdle())
            return 1;
    }
}

}  // namespace qwlog
