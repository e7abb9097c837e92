// Full hex dump lines where no vector routine is built (processors other than
// x86, compilers without GCC's target attribute): the table routine. See DumpLine.h.
#include "DumpLine.h"

char* QwPutFullHexLines(char* p, const unsigned char* pData, unsigned int nFirst, unsigned int nEnd,
                        unsigned int nIndent)
{
    return QwPutFullHexLinesPlain(p, pData, nFirst, nEnd, nIndent);
}

BOOL QwAllowFastDumpLines(BOOL)
{
    return FALSE;
}
