#include "Filter.h"
#include "Outputs.h"

#include <nlohmann/json.hpp>

namespace qwlog {

void JsonOutput::Write(const Record& record, const std::string& strText)
{
    nlohmann::ordered_json j;
    j["file"] = ToUtf8(record.strFile, m_page);
    j["line"] = record.nLine;
    if (record.strTime.empty())
        j["time"] = nullptr;
    else
        j["time"] = record.strTime;
    if (record.bTimeFromName)
        j["time_from"] = "file name";
    j["kind"] = KindName(record.kind);
    if (record.kind == Kind::Entry) {
        j["text"] = strText;
    } else if (record.kind == Kind::Dump) {
        j["dir"] = record.bOut ? "out" : "in";
        j["radix"] = record.bHex ? "hex" : "dec";
        j["bytes"] = HexOf(record.abBytes);
        j["complete"] = record.Complete();
        if (!record.aMissing.empty()) {
            nlohmann::ordered_json aGaps = nlohmann::ordered_json::array();
            for (const Gap& gap : record.aMissing)
                aGaps.push_back({gap.nFrom, gap.nTo});
            j["missing"] = aGaps;
        }
        if (!record.bSizeKnown)
            j["size_known"] = false;
    }
    if (record.bTorn)
        j["torn"] = true;
    std::string strLine = j.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
    strLine += '\n';
    std::fwrite(strLine.data(), 1, strLine.size(), stdout);
}

bool JsonOutput::Finish()
{
    return std::fflush(stdout) == 0 && !std::ferror(stdout);
}

}  // namespace qwlog
