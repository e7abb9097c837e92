// The text of a dump: after its stamp, one line per 16 bytes begun, each an
// offset label ("%08Xh: " or "%08ud: "), the byte values ("%02X " or "%02d "),
// ';' once the values reach 48 characters, and "\r\n"; lines after the first
// indented by the stamp's length; the entry closed with one more "\r\n".
#ifndef QUILLWORK_DUMPTEXT_H
#define QUILLWORK_DUMPTEXT_H

#include "Platform.h"

#include <stddef.h>

// The length of a dump's whole-second stamp ("YYYY-MM-DD HH:MM:SS --> "), by
// which its lines are indented, and spaces enough for any stamp's indent (the
// longest, with microseconds and a thread id of ten digits, takes 44).
const unsigned int QW_DUMP_INDENT = 24;
const char QW_DUMP_SPACES[] = "                                                ";  // 48 spaces

// Lines of a dump of nSize bytes: one for every 16 bytes begun, and one line (of
// no values) for an empty dump.
unsigned int QwDumpLineCount(unsigned int nSize);

// The most one dump line takes: its indent of nIndent, label, values and end.
size_t QwDumpLineRoom(unsigned int nIndent);

// The most a dump of nSize bytes takes with a stamp of nStamp bytes (its indent
// is never longer than the stamp).
unsigned long long QwDumpRoom(unsigned int nSize, size_t nStamp);

// Writes lines nFirst to nEnd - 1 of the dump of nSize bytes at pData at p: each
// with its indent (all but line 0), label, byte text and line end. Gives the
// length written; a line takes at most QwDumpLineRoom(nIndent) bytes.
size_t QwFormatDumpLines(char* p, const unsigned char* pData, unsigned int nSize, unsigned int nFirst, unsigned int nEnd,
                         BOOL bHex, unsigned int nIndent);

// Lays the whole dump out at pEntry: the stamp (nStamp bytes at pszStamp), every
// line indented by nIndent, the closing line end. Gives its length, at most
// QwDumpRoom(nSize, nStamp).
size_t QwLayOutDump(char* pEntry, const unsigned char* pData, unsigned int nSize, BOOL bHex, const char* pszStamp,
                    size_t nStamp, unsigned int nIndent);

// Writes the label of nOffset at p ("%08Xh: " or "%08ud: ", unterminated) and
// gives its length (11 to 13).
size_t QwPutDumpLabel(char* p, unsigned int nOffset, BOOL bHex);

// Writes the byte text of one dump line at p (unterminated) and gives its
// length: the values of nCount bytes (at most 16) as "%02X " or "%02d " would
// give them, all of them, then ';' when they reach 48 characters (hex lines
// reach 48 only with 16 values; decimal ones run to 64). p must have room for
// 65 bytes.
size_t QwPutDumpBytes(char* p, const unsigned char* pLine, unsigned int nCount, BOOL bHex);

#endif
