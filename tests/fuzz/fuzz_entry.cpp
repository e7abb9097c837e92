// Random formats of literal text, %% and integer conversions (%d %i %u %x %X
// with '-', '0', width and precision) on eight given integers: WriteLog's
// entry must be exactly the model's, cut at the message limit.
#include "FuzzLog.h"
#include "Model.h"
#include "QwLogText.h"

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

namespace {

// Reads the next input byte, 0 once the input is spent.
struct Reader
{
    const uint8_t* p;
    size_t n;
    uint8_t Next()
    {
        if (n == 0)
            return 0;
        --n;
        return *p++;
    }
};

// Appends one conversion drawn from the input.
void AddConversion(Reader& in, std::string& strFormat)
{
    uint8_t nFlags = in.Next(), nWidth = in.Next(), nPrecision = in.Next(), nType = in.Next();
    strFormat += '%';
    if (nFlags & 1)
        strFormat += '-';
    if (nFlags & 2)
        strFormat += '0';
    if (nWidth % 48 != 0)
        strFormat += std::to_string(nWidth % 48);
    if (nPrecision < 96)
        strFormat += "." + std::to_string(nPrecision % 48);
    strFormat += "diuxX"[nType % 5];
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pInput, size_t nInput)
{
    Reader in = { pInput, nInput };
    std::vector<int> args(8);
    for (size_t i = 0; i < args.size(); ++i)
        args[i] = (int)((uint32_t)in.Next() << 24 | (uint32_t)in.Next() << 16 | (uint32_t)in.Next() << 8 | in.Next());
    std::string strFormat;
    int nConversions = 0;
    while (in.n > 0) {
        uint8_t nOp = in.Next();
        if (nOp % 8 < 5) {
            char c = (char)in.Next();
            strFormat += (c == '%' || c == '\0') ? 'a' : c;
        } else if (nOp % 8 == 5) {
            strFormat += "%%";
        } else if (nConversions < 8) {
            AddConversion(in, strFormat);
            ++nConversions;
        }
    }
    std::string strMessage;
    if (!qwrel::ModelFormat(strFormat, args, 2047, strMessage))
        __builtin_trap();  // the generator made a format outside the model's language
    qwfuzz::Empty();
    qwfuzz::Log()->WriteLog(strFormat.c_str(), args[0], args[1], args[2], args[3], args[4], args[5], args[6], args[7]);
    std::string strModel = qwtest::Entry(qwfuzz::STAMP, strMessage);
    std::string strWritten = qwfuzz::Written();
    if (strWritten != strModel)
        qwfuzz::Mismatch(strModel, strWritten);
    return 0;
}
