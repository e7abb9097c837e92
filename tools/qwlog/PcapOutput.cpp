#include "Outputs.h"

#include "Platform.h"

#include <cerrno>
#include <cstring>
#include <ctime>

namespace qwlog {

namespace {

const unsigned kSectionHeader = 0x0A0D0D0A;
const unsigned kInterfaceDescription = 1;
const unsigned kEnhancedPacket = 6;
const unsigned kEpbFlagsInbound = 1;
const unsigned kEpbFlagsOutbound = 2;

void Put16(std::string& s, unsigned n)
{
    s += (char)(n & 0xFF);
    s += (char)((n >> 8) & 0xFF);
}

void Put32(std::string& s, unsigned long n)
{
    Put16(s, (unsigned)(n & 0xFFFF));
    Put16(s, (unsigned)((n >> 16) & 0xFFFF));
}

void Pad4(std::string& s)
{
    while (s.size() % 4 != 0)
        s += '\0';
}

// One option: code, length, value padded to 4 bytes.
void PutOption(std::string& s, unsigned nCode, const std::string& strValue)
{
    Put16(s, nCode);
    Put16(s, (unsigned)strValue.size());
    s += strValue;
    Pad4(s);
}

}  // namespace

long long StampToMicroseconds(const std::string& strTime)
{
    std::tm tm = std::tm();
    if (std::sscanf(strTime.c_str(), "%d-%d-%d %d:%d:%d", &tm.tm_year, &tm.tm_mon, &tm.tm_mday, &tm.tm_hour,
                    &tm.tm_min, &tm.tm_sec) != 6)
        return 0;
    tm.tm_year -= 1900;
    tm.tm_mon -= 1;
    tm.tm_isdst = -1;
    std::time_t t = std::mktime(&tm);
    if (t == (std::time_t)-1)
        return 0;
    // The fraction as written (".mmm" or ".uuuuuu"), to the microsecond.
    long long nMicros = 0;
    size_t nDot = strTime.size() > 19 && strTime[19] == '.' ? 19 : std::string::npos;
    for (size_t i = 1; i <= 6; ++i) {
        char c = nDot != std::string::npos && nDot + i < strTime.size() ? strTime[nDot + i] : '0';
        nMicros = nMicros * 10 + (c >= '0' && c <= '9' ? c - '0' : 0);
    }
    return (long long)t * 1000000LL + nMicros;
}

PcapOutput::~PcapOutput()
{
    if (m_pFile != nullptr) {
        std::fclose(m_pFile);
        if (!m_strTemp.empty())
            std::remove(m_strTemp.c_str());
    }
}

void PcapOutput::Block(unsigned nType, const std::string& strBody)
{
    std::string strBlock;
    unsigned long nTotal = (unsigned long)strBody.size() + 12;
    Put32(strBlock, nType);
    Put32(strBlock, nTotal);
    strBlock += strBody;
    Put32(strBlock, nTotal);
    std::fwrite(strBlock.data(), 1, strBlock.size(), m_pFile);
}

bool PcapOutput::Create(const std::string& strPath, std::string& strError)
{
    m_strPath = strPath;
    m_strTemp.clear();
    // A device, pipe or link is written as it stands: renaming over it would replace it.
    m_pFile = IsPlainOrAbsent(strPath) ? CreateBeside(strPath, m_strTemp) : OpenForWriting(strPath);
    if (m_pFile == nullptr) {
        strError = strPath + ": " + LastErrorText();
        return false;
    }
    std::string strShb;
    Put32(strShb, 0x1A2B3C4D);  // byte-order magic
    Put16(strShb, 1);           // version 1.0
    Put16(strShb, 0);
    Put32(strShb, 0xFFFFFFFF);  // section length not given
    Put32(strShb, 0xFFFFFFFF);
    PutOption(strShb, 4, "qwlog");  // shb_userappl
    Put32(strShb, 0);               // opt_endofopt
    Block(kSectionHeader, strShb);

    std::string strIdb;
    Put16(strIdb, kLinkType);
    Put16(strIdb, 0);
    Put32(strIdb, kSnapLength);
    PutOption(strIdb, 2, "quillwork");      // if_name
    PutOption(strIdb, 9, std::string(1, 6));  // if_tsresol: microseconds
    Put32(strIdb, 0);
    Block(kInterfaceDescription, strIdb);
    return true;
}

void PcapOutput::Write(const Record& record, const std::string&)
{
    if (record.kind != Kind::Dump)
        return;
    if (!record.Complete() || record.abBytes.empty()) {
        ++m_nSkipped;
        return;
    }
    unsigned long long nTime = (unsigned long long)StampToMicroseconds(record.strTime);
    size_t nSize = record.abBytes.size();
    size_t nCaptured = nSize < kSnapLength ? nSize : kSnapLength;
    if (nCaptured < nSize)
        m_aCut.push_back(record.strFile + ":" + std::to_string(record.nLine) + " (" + std::to_string(nSize) + " bytes)");
    std::string strEpb;
    Put32(strEpb, 0);  // interface 0
    Put32(strEpb, (unsigned long)(nTime >> 32));
    Put32(strEpb, (unsigned long)(nTime & 0xFFFFFFFFu));
    Put32(strEpb, (unsigned long)nCaptured);
    Put32(strEpb, (unsigned long)(nSize > 0xFFFFFFFFu ? 0xFFFFFFFFu : nSize));  // original length
    strEpb.append((const char*)record.abBytes.data(), nCaptured);
    Pad4(strEpb);
    std::string strFlags;
    Put32(strFlags, record.bOut ? kEpbFlagsOutbound : kEpbFlagsInbound);
    PutOption(strEpb, 2, strFlags);  // epb_flags
    Put32(strEpb, 0);
    Block(kEnhancedPacket, strEpb);
    ++m_nPackets;
}

bool PcapOutput::Finish()
{
    if (m_pFile == nullptr)
        return false;
    bool bOk = std::fflush(m_pFile) == 0 && !std::ferror(m_pFile);
    bOk = std::fclose(m_pFile) == 0 && bOk;
    m_pFile = nullptr;
    if (m_strTemp.empty())
        return bOk;
    bOk = bOk && MoveInPlace(m_strTemp, m_strPath);
    if (!bOk)
        std::remove(m_strTemp.c_str());
    return bOk;
}

}  // namespace qwlog
