// The parts of Os.h that read the same on every platform.
#include "Os.h"

namespace qwrel {

bool Child::ReadLine(std::string& strLine)
{
    for (;;) {
        std::string::size_type nEnd = m_strPending.find('\n');
        if (nEnd != std::string::npos) {
            strLine = m_strPending.substr(0, nEnd);
            if (!strLine.empty() && strLine[strLine.size() - 1] == '\r')
                strLine.erase(strLine.size() - 1);
            m_strPending.erase(0, nEnd + 1);
            return true;
        }
        if (!Fill())
            return false;
    }
}

} // namespace qwrel
