// Full hex dump lines on x86: the sixteen bytes of a line turned into their hex
// text with SSSE3 byte shuffles where the processor has them (asked once, with
// cpuid), by the table routine of DumpText.cpp where it has not. Only the
// functions marked QW_SSSE3 use those instructions: the rest of the library
// keeps the build's own target and runs on any x86 processor. See DumpLine.h.
#include "DumpLine.h"

#include "DumpText.h"

#include <cpuid.h>
#include <string.h>
#include <tmmintrin.h>

#include <atomic>

// Built for processors with SSSE3, the stack realigned on entry (a 32-bit
// Windows host may call with a stack aligned to 4 bytes only); and the helpers
// of such a function, inlined into it.
#define QW_SSSE3 __attribute__((target("ssse3"), force_align_arg_pointer))
#define QW_SSSE3_INLINE __attribute__((target("ssse3"), always_inline)) inline

namespace {

typedef __m128i V;

// Whether the processor runs SSSE3 (cpuid leaf 1).
bool HasSsse3()
{
    unsigned int nA = 0, nB = 0, nC = 0, nD = 0;
    return __get_cpuid(1, &nA, &nB, &nC, &nD) != 0 && (nC & bit_SSSE3) != 0;
}

// Whether dumps take the vector routine: the processor's answer, asked when the
// library is loaded (until then false, the table routine).
std::atomic<bool> s_bFast(HasSsse3());

// What the vector routine shuffles with. A hex line's values, "XY " sixteen
// times, are cut in three vectors of 16 characters; each is taken from the
// digits of the line's bytes, interleaved (high, low, high, low...), by a
// shuffle that leaves zero where a ' ' goes, and the ' ' put in after.
struct HEX_CONSTANTS
{
    V digits;       // "0123456789ABCDEF"
    V nibble;       // 0x0F in every byte
    V take0;        // characters 0-15 from the digits of bytes 0-7
    V take1;        // characters 16-31 from those of bytes 4-11
    V take2;        // characters 32-47 from those of bytes 8-15
    V blank0;       // the ' ' of characters 0-15, 16-31, 32-47
    V blank1;
    V blank2;
    V labelEnd;     // a label's digits are bytes 0-7; the rest stay zero
    V labelSuffix;  // "h: " after them
};

// The constants of the vector routine.
QW_SSSE3_INLINE HEX_CONSTANTS HexConstants()
{
    const char Z = (char)0x80;  // a shuffle index that gives zero
    HEX_CONSTANTS c;
    c.digits = _mm_setr_epi8('0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'A', 'B', 'C', 'D', 'E', 'F');
    c.nibble = _mm_set1_epi8(0x0F);
    c.take0 = _mm_setr_epi8(0, 1, Z, 2, 3, Z, 4, 5, Z, 6, 7, Z, 8, 9, Z, 10);
    c.take1 = _mm_setr_epi8(3, Z, 4, 5, Z, 6, 7, Z, 8, 9, Z, 10, 11, Z, 12, 13);
    c.take2 = _mm_setr_epi8(Z, 6, 7, Z, 8, 9, Z, 10, 11, Z, 12, 13, Z, 14, 15, Z);
    c.blank0 = _mm_setr_epi8(0, 0, ' ', 0, 0, ' ', 0, 0, ' ', 0, 0, ' ', 0, 0, ' ', 0);
    c.blank1 = _mm_setr_epi8(0, ' ', 0, 0, ' ', 0, 0, ' ', 0, 0, ' ', 0, 0, ' ', 0, 0);
    c.blank2 = _mm_setr_epi8(' ', 0, 0, ' ', 0, 0, ' ', 0, 0, ' ', 0, 0, ' ', 0, 0, ' ');
    c.labelEnd = _mm_setr_epi8(0, 0, 0, 0, 0, 0, 0, 0, Z, Z, Z, Z, Z, Z, Z, Z);
    c.labelSuffix = _mm_setr_epi8(0, 0, 0, 0, 0, 0, 0, 0, 'h', ':', ' ', 0, 0, 0, 0, 0);
    return c;
}

// The nibbles of the bytes of v, high then low, interleaved: those of bytes 0-7
// in *pLow, of bytes 8-15 in *pHigh.
QW_SSSE3_INLINE void Nibbles(V v, const HEX_CONSTANTS& c, V* pLow, V* pHigh)
{
    V high = _mm_and_si128(_mm_srli_epi16(v, 4), c.nibble);
    V low = _mm_and_si128(v, c.nibble);
    *pLow = _mm_unpacklo_epi8(high, low);
    *pHigh = _mm_unpackhi_epi8(high, low);
}

// The label of nOffset, "XXXXXXXXh: ", in bytes 0-10 (zero after them).
QW_SSSE3_INLINE V Label(unsigned int nOffset, const HEX_CONSTANTS& c)
{
    V low, high;
    Nibbles(_mm_cvtsi32_si128((int)__builtin_bswap32(nOffset)), c, &low, &high);  // most significant byte first
    V text = _mm_shuffle_epi8(c.digits, _mm_or_si128(low, c.labelEnd));
    return _mm_or_si128(text, c.labelSuffix);
}

// Writes the values of the 16 bytes at pLine at p, "XY " each (48 bytes).
QW_SSSE3_INLINE void PutValues(char* p, const unsigned char* pLine, const HEX_CONSTANTS& c)
{
    V low, high;
    Nibbles(_mm_loadu_si128((const V*)pLine), c, &low, &high);
    V first = _mm_shuffle_epi8(c.digits, low);    // the digits of bytes 0-7
    V second = _mm_shuffle_epi8(c.digits, high);  // and of bytes 8-15
    V middle = _mm_alignr_epi8(second, first, 8);  // and of bytes 4-11
    _mm_storeu_si128((V*)p, _mm_or_si128(_mm_shuffle_epi8(first, c.take0), c.blank0));
    _mm_storeu_si128((V*)(p + 16), _mm_or_si128(_mm_shuffle_epi8(middle, c.take1), c.blank1));
    _mm_storeu_si128((V*)(p + 32), _mm_or_si128(_mm_shuffle_epi8(second, c.take2), c.blank2));
}

// Writes line nLine of a dump, the 16 bytes at pLine, at p (unindented) and
// gives its end. label is the label of the line's group of 16 (the lines whose
// offsets differ only in their last two digits; the last is always 0): the line
// puts in its own next-to-last digit.
QW_SSSE3_INLINE char* PutLine(char* p, unsigned int nLine, const unsigned char* pLine, V label,
                              const HEX_CONSTANTS& c)
{
    _mm_storeu_si128((V*)p, label);  // and 5 bytes the values overwrite
    p[6] = "0123456789ABCDEF"[nLine & 0xF];
    PutValues(p + 11, pLine, c);
    memcpy(p + 11 + 47, " ;\r\n", 4);  // the last value's ' ' again, and the line's end
    return p + QW_FULL_HEX_LINE;
}

// Writes lines nFirst (not 0) to nEnd - 1, each after its indent of nIndent
// spaces, at p and gives their end; label is that of line nFirst. The indent
// goes in two stores (three with bWide, for an indent past 32): what goes past
// it lies inside the line and is overwritten by its label and values.
template <bool bWide>
QW_SSSE3_INLINE char* PutIndentedLines(char* p, const unsigned char* pData, unsigned int nFirst, unsigned int nEnd,
                                       unsigned int nIndent, V label, const HEX_CONSTANTS& c)
{
    const V spaces = _mm_set1_epi8(' ');
    for (unsigned int nLine = nFirst; nLine < nEnd; ++nLine) {
        if ((nLine & 0xF) == 0)
            label = Label(nLine * 16, c);
        _mm_storeu_si128((V*)p, spaces);
        _mm_storeu_si128((V*)(p + 16), spaces);
        if (bWide)
            _mm_storeu_si128((V*)(p + 32), spaces);
        p = PutLine(p + nIndent, nLine, pData + 16 * (size_t)nLine, label, c);
    }
    return p;
}

// QwPutFullHexLines with the vector routine.
QW_SSSE3 char* PutLinesSsse3(char* p, const unsigned char* pData, unsigned int nFirst, unsigned int nEnd,
                             unsigned int nIndent)
{
    static_assert(sizeof(QW_DUMP_SPACES) - 1 <= 3 * 16, "an indent fits in three stores");
    const HEX_CONSTANTS c = HexConstants();
    V label = Label(nFirst * 16, c);
    unsigned int nLine = nFirst;
    if (nLine == 0 && nLine < nEnd)
        p = PutLine(p, nLine++, pData, label, c);  // the first line is not indented
    if (nIndent > 32)
        return PutIndentedLines<true>(p, pData, nLine, nEnd, nIndent, label, c);
    return PutIndentedLines<false>(p, pData, nLine, nEnd, nIndent, label, c);
}

} // namespace

char* QwPutFullHexLines(char* p, const unsigned char* pData, unsigned int nFirst, unsigned int nEnd,
                        unsigned int nIndent)
{
    if (s_bFast.load(std::memory_order_relaxed))
        return PutLinesSsse3(p, pData, nFirst, nEnd, nIndent);
    return QwPutFullHexLinesPlain(p, pData, nFirst, nEnd, nIndent);
}

BOOL QwAllowFastDumpLines(BOOL bAllow)
{
    bool bFast = bAllow && HasSsse3();
    s_bFast.store(bFast);
    return bFast ? TRUE : FALSE;
}
