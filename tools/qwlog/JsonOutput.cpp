#include "Filter.h"
#include "Outputs.h"

#include <nlohmann/json.hpp>

namespace qwlog {

namespace {

// Writes the bytes as lowercase hex to standard output a block at a time, so a large dump
// never needs a second copy of itself as text.
void PutHex(const std::vector<unsigned char>& abBytes)
{
    static const char kDigits[] = "0123456789abcdef";
    char sz[8192];
    size_t n = 0;
    for (unsigned char b : abBytes) {
        sz[n++] = kDigits[b >> 4];
        sz[n++] = kDigits[b & 15];
        if (n == sizeof(sz)) {
            std::fwrite(sz, 1, n, stdout);
            n = 0;
        }
    }
    std::fwrite(sz, 1, n, stdout);
}

// The fields of a dump record after its kind; "bytes" empty, its hex written in place.
void AddDumpFields(nlohmann::ordered_json& j, const Record& record)
{
    j["dir"] = record.bOut ? "out" : "in";
    j["radix"] = record.bHex ? "hex" : "dec";
    j["bytes"] = "";
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

}  // namespace

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
    if (record.bThread)
        j["thread"] = record.nThread;
    j["kind"] = KindName(record.kind);
    if (record.kind == Kind::Entry) {
        j["text"] = strText;
    } else if (record.kind == Kind::Dump) {
        AddDumpFields(j, record);
    }
    if (record.bTorn)
        j["torn"] = true;
    std::string strLine = j.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
    strLine += '\n';
    // Quotes inside the values before it are escaped, so the first match is the key itself.
    static const char kBytes[] = "\"bytes\":\"";
    size_t nAt = record.kind == Kind::Dump ? strLine.find(kBytes) : std::string::npos;
    if (nAt == std::string::npos) {
        std::fwrite(strLine.data(), 1, strLine.size(), stdout);
        return;
    }
    nAt += sizeof(kBytes) - 1;
    std::fwrite(strLine.data(), 1, nAt, stdout);
    PutHex(record.abBytes);
    std::fwrite(strLine.data() + nAt, 1, strLine.size() - nAt, stdout);
}

bool JsonOutput::Finish()
{
    return std::fflush(stdout) == 0 && !std::ferror(stdout);
}

}  // namespace qwlog
