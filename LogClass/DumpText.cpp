// The text of a dump: its lines of offset labels and byte values, laid out from
// tables, with no formatter call per value. See DumpText.h.
#include "DumpText.h"

#include "DumpLine.h"

#include <string.h>

namespace {

const unsigned int VALUES_PER_LINE = 16;
const size_t BYTES_SHOWN = 48;  // a byte text this long or longer is followed by ';'
const size_t LABEL_MAX = 13;    // "%08ud: " of the largest offset
const size_t BYTES_ROOM = 65;   // what QwPutDumpBytes may touch: 16 values of 4 characters and ';'
const char s_szHexPairs[] =
    "000102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1F"
    "202122232425262728292A2B2C2D2E2F303132333435363738393A3B3C3D3E3F"
    "404142434445464748494A4B4C4D4E4F505152535455565758595A5B5C5D5E5F"
    "606162636465666768696A6B6C6D6E6F707172737475767778797A7B7C7D7E7F"
    "808182838485868788898A8B8C8D8E8F909192939495969798999A9B9C9D9E9F"
    "A0A1A2A3A4A5A6A7A8A9AAABACADAEAFB0B1B2B3B4B5B6B7B8B9BABBBCBDBEBF"
    "C0C1C2C3C4C5C6C7C8C9CACBCCCDCECFD0D1D2D3D4D5D6D7D8D9DADBDCDDDEDF"
    "E0E1E2E3E4E5E6E7E8E9EAEBECEDEEEFF0F1F2F3F4F5F6F7F8F9FAFBFCFDFEFF"
    ;
// Each byte's hex text "XY " and one spare byte, four bytes a value, so that
// one four-byte copy writes a value (the spare byte is overwritten next).
const char s_szHexValues[] =
    "00  01  02  03  04  05  06  07  08  09  0A  0B  0C  0D  0E  0F  "
    "10  11  12  13  14  15  16  17  18  19  1A  1B  1C  1D  1E  1F  "
    "20  21  22  23  24  25  26  27  28  29  2A  2B  2C  2D  2E  2F  "
    "30  31  32  33  34  35  36  37  38  39  3A  3B  3C  3D  3E  3F  "
    "40  41  42  43  44  45  46  47  48  49  4A  4B  4C  4D  4E  4F  "
    "50  51  52  53  54  55  56  57  58  59  5A  5B  5C  5D  5E  5F  "
    "60  61  62  63  64  65  66  67  68  69  6A  6B  6C  6D  6E  6F  "
    "70  71  72  73  74  75  76  77  78  79  7A  7B  7C  7D  7E  7F  "
    "80  81  82  83  84  85  86  87  88  89  8A  8B  8C  8D  8E  8F  "
    "90  91  92  93  94  95  96  97  98  99  9A  9B  9C  9D  9E  9F  "
    "A0  A1  A2  A3  A4  A5  A6  A7  A8  A9  AA  AB  AC  AD  AE  AF  "
    "B0  B1  B2  B3  B4  B5  B6  B7  B8  B9  BA  BB  BC  BD  BE  BF  "
    "C0  C1  C2  C3  C4  C5  C6  C7  C8  C9  CA  CB  CC  CD  CE  CF  "
    "D0  D1  D2  D3  D4  D5  D6  D7  D8  D9  DA  DB  DC  DD  DE  DF  "
    "E0  E1  E2  E3  E4  E5  E6  E7  E8  E9  EA  EB  EC  ED  EE  EF  "
    "F0  F1  F2  F3  F4  F5  F6  F7  F8  F9  FA  FB  FC  FD  FE  FF  "
    ;
// Each byte's decimal text "%02d " in four bytes (a spare one below 100).
const char s_szDecValues[] =
    "00  01  02  03  04  05  06  07  08  09  10  11  12  13  14  15  "
    "16  17  18  19  20  21  22  23  24  25  26  27  28  29  30  31  "
    "32  33  34  35  36  37  38  39  40  41  42  43  44  45  46  47  "
    "48  49  50  51  52  53  54  55  56  57  58  59  60  61  62  63  "
    "64  65  66  67  68  69  70  71  72  73  74  75  76  77  78  79  "
    "80  81  82  83  84  85  86  87  88  89  90  91  92  93  94  95  "
    "96  97  98  99  100 101 102 103 104 105 106 107 108 109 110 111 "
    "112 113 114 115 116 117 118 119 120 121 122 123 124 125 126 127 "
    "128 129 130 131 132 133 134 135 136 137 138 139 140 141 142 143 "
    "144 145 146 147 148 149 150 151 152 153 154 155 156 157 158 159 "
    "160 161 162 163 164 165 166 167 168 169 170 171 172 173 174 175 "
    "176 177 178 179 180 181 182 183 184 185 186 187 188 189 190 191 "
    "192 193 194 195 196 197 198 199 200 201 202 203 204 205 206 207 "
    "208 209 210 211 212 213 214 215 216 217 218 219 220 221 222 223 "
    "224 225 226 227 228 229 230 231 232 233 234 235 236 237 238 239 "
    "240 241 242 243 244 245 246 247 248 249 250 251 252 253 254 255 "
    ;

// Writes the hex text of the first N bytes of pLine at p, four bytes a value
// ("XY " and a spare byte the next value overwrites), unrolled.
template <unsigned int N>
inline void PutHexValues(char* p, const unsigned char* pLine)
{
    PutHexValues<N - 1>(p, pLine);
    memcpy(p + 3 * (N - 1), s_szHexValues + 4 * (size_t)pLine[N - 1], 4);
}

template <>
inline void PutHexValues<0>(char*, const unsigned char*)
{
}

// Writes the hex label of nOffset, "XXXXXXXXh: ", at p (11 bytes).
inline void PutHexLabel(char* p, unsigned int nOffset)
{
    memcpy(p, s_szHexPairs + 2 * (size_t)(nOffset >> 24), 2);
    memcpy(p + 2, s_szHexPairs + 2 * (size_t)((nOffset >> 16) & 0xFF), 2);
    memcpy(p + 4, s_szHexPairs + 2 * (size_t)((nOffset >> 8) & 0xFF), 2);
    memcpy(p + 6, s_szHexPairs + 2 * (size_t)(nOffset & 0xFF), 2);
    memcpy(p + 8, "h: ", 3);
}

// Writes the full hex line of the 16 bytes at pLine, found at nOffset of its
// dump, at p: label, values, ';' and line end; gives the end of what it wrote.
// The line of most dumps, laid out with no call.
inline char* PutFullHexLine(char* p, unsigned int nOffset, const unsigned char* pLine)
{
    static_assert(3 * VALUES_PER_LINE >= BYTES_SHOWN, "a full hex line ends with ';'");
    static_assert(11 + 3 * VALUES_PER_LINE + 3 == QW_FULL_HEX_LINE, "the full hex line's length");
    PutHexLabel(p, nOffset);
    PutHexValues<VALUES_PER_LINE>(p + 11, pLine);
    memcpy(p + 11 + 3 * VALUES_PER_LINE, ";\r\n", 3);
    return p + QW_FULL_HEX_LINE;
}

// Writes the indent of nIndent spaces at p and gives its end; the stamp's usual
// length is a fixed copy.
inline char* PutIndent(char* p, unsigned int nIndent)
{
    if (nIndent == QW_DUMP_INDENT) {
        memcpy(p, QW_DUMP_SPACES, QW_DUMP_INDENT);
        return p + QW_DUMP_INDENT;
    }
    memcpy(p, QW_DUMP_SPACES, nIndent);
    return p + nIndent;
}

} // namespace

unsigned int QwDumpLineCount(unsigned int nSize)
{
    unsigned int nLines = nSize / VALUES_PER_LINE + (nSize % VALUES_PER_LINE != 0 ? 1 : 0);
    return nLines != 0 ? nLines : 1;
}

char* QwPutFullHexLinesPlain(char* p, const unsigned char* pData, unsigned int nFirst, unsigned int nEnd,
                             unsigned int nIndent)
{
    for (unsigned int nLine = nFirst; nLine < nEnd; ++nLine) {
        if (nLine != 0)
            p = PutIndent(p, nIndent);
        p = PutFullHexLine(p, nLine * VALUES_PER_LINE, pData + (size_t)nLine * VALUES_PER_LINE);
    }
    return p;
}

size_t QwFormatDumpLines(char* p, const unsigned char* pData, unsigned int nSize, unsigned int nFirst, unsigned int nEnd,
                         BOOL bHex, unsigned int nIndent)
{
    char* pOut = p;
    unsigned int nLine = nFirst;
    // The full hex lines of the range, the most of a hex dump, in one run.
    unsigned int nFull = bHex ? nSize / VALUES_PER_LINE : 0;
    if (nFull > nEnd)
        nFull = nEnd;
    if (nLine < nFull) {
        pOut = QwPutFullHexLines(pOut, pData, nLine, nFull, nIndent);
        nLine = nFull;
    }
    for (; nLine < nEnd; ++nLine) {
        if (nLine != 0)
            pOut = PutIndent(pOut, nIndent);
        unsigned int nOffset = nLine * VALUES_PER_LINE;
        unsigned int nLeft = nSize - nOffset;  // 0 only for an empty dump
        pOut += QwPutDumpLabel(pOut, nOffset, bHex);
        pOut += QwPutDumpBytes(pOut, pData + nOffset, nLeft < VALUES_PER_LINE ? nLeft : VALUES_PER_LINE, bHex);
        memcpy(pOut, "\r\n", 2);
        pOut += 2;
    }
    return (size_t)(pOut - p);
}

size_t QwDumpLineRoom(unsigned int nIndent)
{
    return nIndent + LABEL_MAX + BYTES_ROOM + 2;
}

unsigned long long QwDumpRoom(unsigned int nSize, size_t nStamp)
{
    return nStamp + (unsigned long long)QwDumpLineCount(nSize) * QwDumpLineRoom((unsigned int)nStamp) + 2;
}

size_t QwLayOutDump(char* pEntry, const unsigned char* pData, unsigned int nSize, BOOL bHex, const char* pszStamp,
                    size_t nStamp, unsigned int nIndent)
{
    memcpy(pEntry, pszStamp, nStamp);
    size_t nLen = nStamp + QwFormatDumpLines(pEntry + nStamp, pData, nSize, 0, QwDumpLineCount(nSize), bHex, nIndent);
    memcpy(pEntry + nLen, "\r\n", 2);
    return nLen + 2;
}

size_t QwPutDumpLabel(char* p, unsigned int nOffset, BOOL bHex)
{
    if (bHex) {
        PutHexLabel(p, nOffset);
        return 11;
    }
    char szDigits[10];
    size_t nDigits = 0;
    do {
        szDigits[nDigits++] = (char)('0' + nOffset % 10);
        nOffset /= 10;
    } while (nOffset != 0);
    while (nDigits < 8)
        szDigits[nDigits++] = '0';
    for (size_t i = 0; i < nDigits; ++i)
        p[i] = szDigits[nDigits - 1 - i];
    memcpy(p + nDigits, "d: ", 3);
    return nDigits + 3;
}

size_t QwPutDumpBytes(char* p, const unsigned char* pLine, unsigned int nCount, BOOL bHex)
{
    if (nCount > VALUES_PER_LINE)
        nCount = VALUES_PER_LINE;
    size_t nLen = 0;
    if (bHex && nCount == VALUES_PER_LINE) {
        PutHexValues<VALUES_PER_LINE>(p, pLine);  // the common full line, unrolled
        nLen = 3 * VALUES_PER_LINE;
    } else if (bHex) {
        for (unsigned int i = 0; i < nCount; ++i)
            memcpy(p + 3 * i, s_szHexValues + 4 * (size_t)pLine[i], 4);
        nLen = 3 * nCount;
    } else {
        // Every value, four bytes a copy: the spare byte of one is overwritten
        // by the next, and the last one's by the ';' or left past the text.
        for (unsigned int i = 0; i < nCount; ++i) {
            memcpy(p + nLen, s_szDecValues + 4 * (size_t)pLine[i], 4);
            nLen += pLine[i] >= 100 ? 4 : 3;
        }
    }
    if (nLen < BYTES_SHOWN)
        return nLen;
    p[nLen] = ';';  // a line of 48 characters or more is closed with ';'
    return nLen + 1;
}
