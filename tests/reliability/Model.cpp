#include "Model.h"

#include "QwLogText.h"

namespace qwrel {

namespace {

struct Conversion
{
    bool bLeft, bZero, bPrecision;
    size_t nWidth, nPrecision;
    char cType;
};

// Reads one conversion after its '%' at nPos; moves nPos past it. FALSE when
// the conversion is outside the model's language.
bool ReadConversion(const std::string& str, size_t& nPos, Conversion& conv)
{
    conv = Conversion();
    for (; nPos < str.size() && (str[nPos] == '-' || str[nPos] == '0'); ++nPos)
        (str[nPos] == '-' ? conv.bLeft : conv.bZero) = true;
    for (; nPos < str.size() && str[nPos] >= '0' && str[nPos] <= '9'; ++nPos)
        conv.nWidth = conv.nWidth * 10 + (size_t)(str[nPos] - '0');
    if (nPos < str.size() && str[nPos] == '.') {
        conv.bPrecision = true;
        for (++nPos; nPos < str.size() && str[nPos] >= '0' && str[nPos] <= '9'; ++nPos)
            conv.nPrecision = conv.nPrecision * 10 + (size_t)(str[nPos] - '0');
    }
    if (nPos >= str.size())
        return false;
    conv.cType = str[nPos++];
    return std::string("diuxX").find(conv.cType) != std::string::npos;
}

// The text of one integer conversion of nArg.
std::string Convert(const Conversion& conv, int nArg)
{
    bool bSigned = conv.cType == 'd' || conv.cType == 'i';
    bool bNegative = bSigned && nArg < 0;
    unsigned long long nMagnitude = bNegative ? (unsigned long long)(-(long long)nArg) : (unsigned long long)(unsigned)nArg;
    unsigned nBase = (conv.cType == 'x' || conv.cType == 'X') ? 16 : 10;
    std::string strDigits = qwtest::Digits(nMagnitude, nBase, conv.bPrecision ? conv.nPrecision : 1);
    if (conv.bPrecision && conv.nPrecision == 0 && nMagnitude == 0)
        strDigits.clear();
    if (conv.cType == 'x')
        for (size_t i = 0; i < strDigits.size(); ++i)
            if (strDigits[i] >= 'A' && strDigits[i] <= 'F')
                strDigits[i] = (char)(strDigits[i] - 'A' + 'a');
    std::string strSign = bNegative ? "-" : "";
    size_t nBody = strSign.size() + strDigits.size();
    if (nBody >= conv.nWidth)
        return strSign + strDigits;
    size_t nPad = conv.nWidth - nBody;
    if (conv.bLeft)
        return strSign + strDigits + std::string(nPad, ' ');
    if (conv.bZero && !conv.bPrecision)
        return strSign + std::string(nPad, '0') + strDigits;
    return std::string(nPad, ' ') + strSign + strDigits;
}

} // namespace

bool ModelFormat(const std::string& strFormat, const std::vector<int>& args, size_t nLimit, std::string& strOut)
{
    strOut.clear();
    size_t nArg = 0;
    for (size_t nPos = 0; nPos < strFormat.size();) {
        char c = strFormat[nPos++];
        if (c != '%') {
            strOut += c;
            continue;
        }
        if (nPos < strFormat.size() && strFormat[nPos] == '%') {
            strOut += '%';
            ++nPos;
            continue;
        }
        Conversion conv;
        if (!ReadConversion(strFormat, nPos, conv))
            return false;
        strOut += Convert(conv, nArg < args.size() ? args[nArg] : 0);
        ++nArg;
    }
    if (strOut.size() > nLimit)
        strOut.resize(nLimit);
    return true;
}

} // namespace qwrel
