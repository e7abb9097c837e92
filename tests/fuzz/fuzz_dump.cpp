// Any bytes, any size, both flags (any non-zero value): WriteHex's entry must
// be exactly the model's. The first byte picks the flags, the rest is dumped
// from a buffer of exactly its size, so a read past it is caught.
#include "FuzzLog.h"
#include "QwLogText.h"

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pInput, size_t nInput)
{
    if (nInput == 0)
        return 0;
    BOOL bOut = (pInput[0] & 1) ? (BOOL)(pInput[0] | 1) : 0;
    BOOL bHex = (pInput[0] & 2) ? (BOOL)((pInput[0] >> 1) | 1) : 0;
    size_t nSize = nInput - 1;
    unsigned char* pData = new unsigned char[nSize == 0 ? 1 : nSize];
    if (nSize != 0)
        memcpy(pData, pInput + 1, nSize);
    qwfuzz::Empty();
    qwfuzz::Log()->WriteHex(nSize == 0 ? NULL : pData, (unsigned int)nSize, bOut, bHex);
    std::string strModel = qwtest::DumpEntry(qwfuzz::STAMP, pData, nSize, bOut != 0, bHex != 0);
    delete[] pData;
    std::string strWritten = qwfuzz::Written();
    if (strWritten != strModel)
        qwfuzz::Mismatch(strModel, strWritten);
    return 0;
}
