// The Windows side of the developer channel of Platform.h: the debugger output.
#include "../LogClass/Platform.h"
#include "../LogClass/ControlText.h"

#include <windows.h>

#include <new>
#include <string>

namespace {

// The most bytes converted at a time: MultiByteToWideChar counts in int.
const size_t ECHO_PIECE = 0x40000000;

// The length of the first piece of p (nLen bytes) to convert alone: all of it
// when it fits, else up to the last line end within ECHO_PIECE.
size_t PieceLength(const char* p, size_t nLen)
{
    if (nLen <= ECHO_PIECE)
        return nLen;
    for (size_t i = ECHO_PIECE; i > 0; --i)
        if (p[i - 1] == '\n')
            return i;
    return ECHO_PIECE;
}

// Sends nLen bytes of ANSI text to the debugger output in one call, converted
// to UTF-16 and its control characters shown as escapes.
void EchoPiece(const char* p, size_t nLen)
{
    int nWide = MultiByteToWideChar(CP_ACP, 0, p, (int)nLen, NULL, 0);
    if (nWide <= 0)
        return;
    std::wstring strWide((size_t)nWide, L'\0');
    MultiByteToWideChar(CP_ACP, 0, p, (int)nLen, &strWide[0], nWide);
    std::wstring strShown;
    strShown.reserve(strWide.size() + 16);
    QwAppendShownW(strShown, strWide.data(), strWide.size());
    OutputDebugStringW(strShown.c_str());
}

} // namespace

void QwEchoText(FILE*, const char* p, size_t nLen)
{
    if (p == NULL)
        return;
    try {
        while (nLen > 0) {
            size_t nPiece = PieceLength(p, nLen);
            EchoPiece(p, nPiece);
            p += nPiece;
            nLen -= nPiece;
        }
    } catch (const std::bad_alloc&) {
        // No memory for the wide text: the channel misses this entry, the file has it.
    }
}
