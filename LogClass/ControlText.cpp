// Control characters shown as escapes, in narrow and in wide text.
#include "ControlText.h"

namespace {

const char HEX_DIGITS[] = "0123456789abcdef";

// True for a C0 control or DEL that a terminal would act on (TAB, CR, LF pass).
bool IsShownLow(unsigned nCode)
{
    if (nCode == '\t' || nCode == '\r' || nCode == '\n')
        return false;
    return nCode < 0x20 || nCode == 0x7F;
}

// True for a C1 control code point (U+0080..U+009F).
bool IsC1(unsigned nCode)
{
    return nCode >= 0x80 && nCode <= 0x9F;
}

// Appends the escape of a C0 control, DEL or C1 control nCode to strOut:
// "^X" caret form below 0x80, "\xHH" for C1.
template <class STRING>
void AppendEscape(STRING& strOut, unsigned nCode)
{
    if (nCode < 0x80)
    {
        strOut += '^';
        strOut += (char)(nCode == 0x7F ? '?' : nCode + 0x40);
        return;
    }
    strOut += '\\';
    strOut += 'x';
    strOut += HEX_DIGITS[(nCode >> 4) & 0xF];
    strOut += HEX_DIGITS[nCode & 0xF];
}

// The length of the run at p[0..nLen) that needs no escape, for narrow text.
size_t PlainRun(const unsigned char* p, size_t nLen, bool bUtf8)
{
    size_t i = 0;
    for (; i < nLen; ++i)
    {
        if (IsShownLow(p[i]))
            break;
        if (!bUtf8 && IsC1(p[i]))
            break;
        // 0xC2 is never a continuation byte, so this pair is a C1 code point
        // wherever it stands.
        if (bUtf8 && p[i] == 0xC2 && i + 1 < nLen && IsC1(p[i + 1]))
            break;
    }
    return i;
}

} // namespace

void QwAppendShown(std::string& strOut, const char* p, size_t nLen, bool bUtf8)
{
    const unsigned char* pb = (const unsigned char*)p;
    size_t i = 0;
    while (i < nLen)
    {
        size_t nPlain = PlainRun(pb + i, nLen - i, bUtf8);
        strOut.append(p + i, nPlain);
        i += nPlain;
        if (i == nLen)
            break;
        if (bUtf8 && pb[i] == 0xC2)
        {
            AppendEscape(strOut, pb[i + 1]);
            i += 2;
            continue;
        }
        AppendEscape(strOut, pb[i]);
        ++i;
    }
}

void QwAppendShownW(std::wstring& strOut, const wchar_t* p, size_t nLen)
{
    for (size_t i = 0; i < nLen; ++i)
    {
        unsigned nCode = (unsigned)p[i];
        if (IsShownLow(nCode) || IsC1(nCode))
            AppendEscape(strOut, nCode);
        else
            strOut += p[i];
    }
}
