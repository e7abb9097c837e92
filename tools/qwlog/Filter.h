// The filters every command takes: --since, --until, --kind, --dir, --grep, --thread.
#ifndef QWLOG_FILTER_H
#define QWLOG_FILTER_H

#include "Matcher.h"
#include "Record.h"

#include <string>
#include <vector>

namespace qwlog {

class Filter
{
public:
    // Each setter returns false with strError set when its value is not valid.
    bool SetSince(const std::string& strTime, std::string& strError);
    bool SetUntil(const std::string& strTime, std::string& strError);
    bool SetKinds(const std::vector<std::string>& aKinds, std::string& strError);
    bool SetDir(const std::string& strDir, std::string& strError);
    bool SetGrep(const std::string& strPattern, std::string& strError);
    // Only records whose stamp names thread strThread (decimal).
    bool SetThread(const std::string& strThread, std::string& strError);

    // True when the record passes every filter set. strText is the entry's text as UTF-8.
    bool Accept(const Record& record, const std::string& strText) const;

private:
    std::string m_strSince;
    std::string m_strUntil;
    bool m_abKind[3] = {true, true, true};
    int m_nDir = 0;  // 0 any, 1 out, 2 in
    bool m_bGrep = false;
    bool m_bThread = false;
    uint64_t m_nThread = 0;
    Matcher m_grep;
};

// Lowercase hex of the bytes.
std::string HexOf(const std::vector<unsigned char>& abBytes);

}  // namespace qwlog

#endif
