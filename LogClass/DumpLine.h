// Full hex dump lines, the lines most dumps are made of: "XXXXXXXXh: ", sixteen
// "XY " and ";\r\n", after an indent on all but a dump's first line. Laid out
// by a vector routine on x86 processors that have SSSE3 (DumpLineX86.cpp, the
// processor asked once), by the table routine of DumpText.cpp everywhere else
// (DumpLinePlain.cpp). Both write the same bytes.
#ifndef QUILLWORK_DUMPLINE_H
#define QUILLWORK_DUMPLINE_H

#include "Platform.h"

// The bytes of one full hex line after its indent: label, values, end.
const size_t QW_FULL_HEX_LINE = 11 + 3 * 16 + 3;

// Writes lines nFirst to nEnd - 1 of the dump at pData at p, every one of them
// full (pData holds at least 16 * nEnd bytes, and reads stay inside them): each
// but line 0 indented by nIndent spaces (at most 37), then its label, values and
// line end. Writes nothing past the text and gives the end of what it wrote.
char* QwPutFullHexLines(char* p, const unsigned char* pData, unsigned int nFirst, unsigned int nEnd,
                        unsigned int nIndent);

// The table routine, with the contract of QwPutFullHexLines: what a processor
// without the vector routine runs (DumpText.cpp).
char* QwPutFullHexLinesPlain(char* p, const unsigned char* pData, unsigned int nFirst, unsigned int nEnd,
                             unsigned int nIndent);

// Whether dumps may use the vector routine where the processor has it (bAllow
// TRUE, the default) or all take the table routine (FALSE), so that tests check
// both on one machine. Gives whether the vector routine is now in use; call it
// while no dump is being laid out.
BOOL QwAllowFastDumpLines(BOOL bAllow);

#endif
