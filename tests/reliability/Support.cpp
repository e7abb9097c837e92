// The reliability suites' scaffolding: sizes, figures and the numbered entries.
#include "Support.h"

#include "Model.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <sstream>

namespace qwrel {

namespace {

// The 20 bytes of dump number nNumber of thread nThread: all below 100, so
// the decimal radix shows every one of them.
std::vector<unsigned char> NumberedData(int nThread, int nNumber)
{
    std::vector<unsigned char> data(20);
    data[0] = (unsigned char)nThread;
    for (int i = 0; i < 4; ++i) {
        data[1 + i] = (unsigned char)(nNumber % 100);
        nNumber /= 100;
    }
    for (int i = 5; i < 20; ++i)
        data[i] = (unsigned char)((nThread * 7 + i * 13) % 100);
    return data;
}

bool OutOf(int nNumber) { return nNumber % 4 == 1; }
bool HexOf(int nNumber) { return nNumber % 8 < 4; }

} // namespace

long SizeFromEnv(const char* pszName, long nDefault, long nFull)
{
    const char* psz = getenv(pszName);
    if (psz != NULL && *psz != '\0')
        return strtol(psz, NULL, 10);
    const char* pszFull = getenv("QW_REL_FULL");
    return (pszFull != NULL && strcmp(pszFull, "1") == 0) ? nFull : nDefault;
}

void Figure(const std::string& strText)
{
    printf("FIGURE %s\n", strText.c_str());
    fflush(stdout);
}

void RelTest::SetUp()
{
    LogTest::SetUp();
    RealClock();
}

void WriteNumbered(ILogObject* pLog, int nThread, int nNumber)
{
    if (nNumber % 2 == 0) {
        pLog->WriteLog("t%d n%d", nThread, nNumber);
        return;
    }
    std::vector<unsigned char> data = NumberedData(nThread, nNumber);
    pLog->WriteHex(&data[0], (unsigned int)data.size(), OutOf(nNumber), HexOf(nNumber));
}

std::string NumberedText(int nThread, int nNumber, const std::string& strStamp)
{
    if (nNumber % 2 == 0)
        return Entry(strStamp, "t" + std::to_string(nThread) + " n" + std::to_string(nNumber));
    std::vector<unsigned char> data = NumberedData(nThread, nNumber);
    return DumpEntry(strStamp, &data[0], data.size(), OutOf(nNumber), HexOf(nNumber));
}

bool ReadNumbered(const std::string& strEntry, int& nThread, int& nNumber, std::string& strStamp)
{
    if (!IsStamp(strEntry))
        return false;
    strStamp = strEntry.substr(0, 19);
    if (strEntry.compare(19, 3, "  t") == 0) {
        if (sscanf(strEntry.c_str() + 21, "t%d n%d", &nThread, &nNumber) != 2)
            return false;
        return nNumber % 2 == 0 && strEntry == NumberedText(nThread, nNumber, strStamp);
    }
    // A dump: the label's letter gives the radix, its first five values t and n.
    if (strEntry.size() < 40 || (strEntry[32] != 'h' && strEntry[32] != 'd'))
        return false;
    int nBase = strEntry[32] == 'h' ? 16 : 10;
    std::istringstream in(strEntry.substr(35, 15));
    unsigned long values[5];
    for (int i = 0; i < 5; ++i) {
        std::string strValue;
        in >> strValue;
        values[i] = strtoul(strValue.c_str(), NULL, nBase);
    }
    nThread = (int)values[0];
    nNumber = (int)(values[1] + values[2] * 100 + values[3] * 10000 + values[4] * 1000000);
    return nNumber % 2 == 1 && strEntry == NumberedText(nThread, nNumber, strStamp);
}

} // namespace qwrel
