// Text bound for a terminal or console, with the control characters the
// terminal would act on shown as visible escapes. The log file keeps the raw
// bytes; only what a person's screen receives goes through these functions.
//
// Forms: ESC and the other C0 controls in caret form ("^[", "^A", "^@"),
// DEL as "^?", a C1 control as "\x" and two lower-case hex digits ("\x9b").
// TAB, CR and LF pass as they are.
#ifndef QUILLWORK_CONTROLTEXT_H
#define QUILLWORK_CONTROLTEXT_H

#include <stddef.h>
#include <string>

// Appends p[0..nLen) to strOut, showing as escapes the control characters a terminal would act on: C0 other than TAB, CR, LF; DEL; C1. bUtf8: the terminal reads UTF-8 (C1 are the pairs C2 80..C2 9F, never a byte of a longer character) or a single-byte charset (bytes 0x80..0x9F).
void QwAppendShown(std::string& strOut, const char* p, size_t nLen, bool bUtf8);
// The same for UTF-16 text (Windows, after the conversion from the ANSI code page): U+0000-001F but TAB/CR/LF, U+007F, U+0080-009F.
void QwAppendShownW(std::wstring& strOut, const wchar_t* p, size_t nLen);

#endif
