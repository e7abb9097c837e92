// libFuzzer target for qwlog's reader.
// Inputs whose first byte is even are log files as they are: the reader must not crash, hang
// or read out of bounds, and what it returns must hold together. Inputs whose first byte is
// odd are turned into a list of banners, entries and dumps that are laid out as the library
// lays them out; reading that file back must give the same records (the values of decimal
// dumps where the file shows them).
#include "LineReader.h"
#include "Parser.h"
#include "QwLogText.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace qwlog;

namespace {

struct Op
{
    int nKind;  // 0 banner, 1 entry, 2 dump
    std::string strText;
    std::vector<unsigned char> abBytes;
    bool bOut, bHex;
    bool bOldCut;  // a decimal text of 48 characters or more cut to 48, as older writers did
};

void Check(bool bOk, const char* pszWhat)
{
    if (!bOk) {
        std::fprintf(stderr, "qwlog fuzz: %s\n", pszWhat);
        std::abort();
    }
}

std::vector<Record> ReadAll(const std::string& strFile, bool bFollowFirst, size_t nSplit)
{
    std::vector<Record> aRecords;
    Parser parser("2024-03-05/090807_fuzz.log", [](uint64_t, const std::string&) {});
    std::FILE* pFile = fmemopen((void*)strFile.data(), strFile.size(), "rb");
    if (strFile.empty() || pFile == nullptr) {
        if (pFile)
            std::fclose(pFile);
        parser.Finish("", 1);
    } else {
        LineReader reader(pFile);
        Line line;
        Record record;
        uint64_t nLines = 0;
        while (reader.Next(line)) {
            Check(line.nNumber == ++nLines, "line numbers run on by one");
            parser.Feed(line);
            if (bFollowFirst && nLines == nSplit)
                parser.Idle();  // as a followed file that stops growing for a moment
        }
        parser.Finish(reader.Pending(), reader.PendingNumber());
        std::fclose(pFile);
    }
    Record record;
    while (parser.Pop(record))
        aRecords.push_back(record);
    return aRecords;
}

// Lays out one dump as the library writes it.
std::string LayOutDump(const Op& op)
{
    std::string s = std::string("2024-03-05 09:08:07 ") + (op.bOut ? "--> " : "<-- ");
    size_t nLines = (op.abBytes.size() + 15) / 16;
    for (size_t nLine = 0; nLine < (nLines == 0 ? 1 : nLines); ++nLine) {
        char sz[32];
        if (nLine > 0)
            s += std::string(24, ' ');
        std::snprintf(sz, sizeof(sz), op.bHex ? "%08Xh: " : "%08ud: ", (unsigned)(nLine * 16));
        s += sz;
        std::string strText;
        for (size_t i = nLine * 16; i < op.abBytes.size() && i < nLine * 16 + 16; ++i) {
            std::snprintf(sz, sizeof(sz), op.bHex ? "%02X " : "%02d ", op.abBytes[i]);
            strText += sz;
        }
        if (strText.size() >= 48)
            strText = (op.bOldCut ? strText.substr(0, 48) : strText) + ";";
        s += strText + "\r\n";
    }
    return s + "\r\n";
}

// Characters of the decimal text of abBytes[nFrom..nFrom+16).
size_t DecTextLen(const std::vector<unsigned char>& abBytes, size_t nFrom)
{
    size_t n = 0;
    for (size_t i = nFrom; i < abBytes.size() && i < nFrom + 16; ++i)
        n += abBytes[i] >= 100 ? 4 : 3;
    return n;
}

// True when a dump's last line holds fewer than 16 values in exactly 48 characters and no
// line before it is longer than 48: an older writer's cut would look the same.
bool AmbiguousLastLine(const std::vector<unsigned char>& abBytes)
{
    size_t nLast = abBytes.empty() ? 0 : (abBytes.size() - 1) / 16 * 16;
    for (size_t n = 0; n < nLast; n += 16) {
        if (DecTextLen(abBytes, n) > 48)
            return false;
    }
    return abBytes.size() - nLast < 16 && DecTextLen(abBytes, nLast) == 48;
}

std::vector<Op> MakeOps(const uint8_t* pData, size_t nSize)
{
    std::vector<Op> aOps;
    size_t i = 1;
    while (i + 2 <= nSize) {
        Op op;
        op.nKind = pData[i] % 3;
        op.bOut = (pData[i] & 4) != 0;
        op.bHex = (pData[i] & 8) != 0;
        op.bOldCut = (pData[i] & 16) != 0;
        size_t nLen = pData[i + 1];
        i += 2;
        nLen = nLen > nSize - i ? nSize - i : nLen;
        for (size_t k = 0; k < nLen; ++k) {
            unsigned char c = pData[i + k];
            if (op.nKind == 1 && (c == '\r' || c == '\n'))
                c = ' ';
            op.strText += (char)c;
            op.abBytes.push_back(c);
        }
        i += nLen;
        aOps.push_back(op);
    }
    return aOps;
}

void RoundTrip(const uint8_t* pData, size_t nSize)
{
    std::vector<Op> aOps = MakeOps(pData, nSize);
    std::string strFile;
    for (const Op& op : aOps) {
        if (op.nKind == 0)
            strFile += qwtest::BANNER;
        else if (op.nKind == 1)
            strFile += "2024-03-05 09:08:07  " + op.strText + "\r\n\r\n";
        else
            strFile += LayOutDump(op);
    }
    std::vector<Record> aRecords = ReadAll(strFile, nSize > 1, nSize > 1 ? pData[0] % 7 : 0);
    Check(aRecords.size() == aOps.size(), "one record per banner, entry and dump");
    for (size_t n = 0; n < aOps.size(); ++n) {
        const Op& op = aOps[n];
        const Record& r = aRecords[n];
        Check((int)r.kind == op.nKind && !r.bTorn, "kind as written, nothing torn");
        if (op.nKind == 1)
            Check(r.strText == op.strText, "entry text as written");
        if (op.nKind != 2)
            continue;
        Check(r.bOut == op.bOut && r.bHex == op.bHex, "direction and radix as written");
        if (r.Complete()) {
            Check(r.abBytes == op.abBytes, "a complete dump gives back every byte");
            continue;
        }
        Check(!op.bHex, "only decimal dumps lose values");
        Check(op.bOldCut || AmbiguousLastLine(op.abBytes),
              "a dump laid out with every value is complete, but for a last line that an old cut could give");
        size_t nKnown = 0, nGap = 0;
        for (size_t k = 0; k < op.abBytes.size(); ++k) {
            bool bMissing = nGap < r.aMissing.size() && k >= r.aMissing[nGap].nFrom && k <= r.aMissing[nGap].nTo;
            if (bMissing) {
                if (k == r.aMissing[nGap].nTo)
                    ++nGap;
                continue;
            }
            Check(nKnown < r.abBytes.size() && r.abBytes[nKnown] == op.abBytes[k], "every value shown is the value written");
            ++nKnown;
        }
        Check(nKnown == r.abBytes.size(), "no value shown that was not written");
    }
}

void Raw(const uint8_t* pData, size_t nSize)
{
    std::string strFile((const char*)pData + 1, nSize - 1);
    std::vector<Record> aRecords = ReadAll(strFile, nSize > 1, pData[0] % 5);
    uint64_t nLastLine = 0;
    for (const Record& r : aRecords) {
        Check(r.nLine > nLastLine, "records in the order of their lines");
        nLastLine = r.nLine;
        Check(!r.aLines.empty(), "a record has lines");
        for (const Gap& gap : r.aMissing)
            Check(gap.nFrom <= gap.nTo, "gaps run forward");
        if (r.Complete())
            Check(r.aMissing.empty(), "a complete dump misses nothing");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    if (nSize == 0)
        return 0;
    if (pData[0] & 1)
        RoundTrip(pData, nSize);
    else
        Raw(pData, nSize);
    return 0;
}
