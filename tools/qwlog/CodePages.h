// Text of a log file as UTF-8: the library writes narrow text of the host's ANSI code page,
// which is plain UTF-8 on most Linux hosts and a single-byte Windows page on Windows hosts.
#ifndef QWLOG_CODEPAGES_H
#define QWLOG_CODEPAGES_H

#include <cstddef>
#include <string>

namespace qwlog {

// One single-byte code page: its name, other names it answers to, and the code points of
// its bytes 0x80 to 0xFF (bytes below 0x80 are ASCII in every page here).
struct CodePage
{
    const char* pszName;
    const char* apszAliases[3];
    const unsigned short* pUpper;
};

extern const CodePage g_aCodePages[];
extern const size_t g_nCodePages;

// The page called strName (or one of its aliases, case ignored), or NULL.
const CodePage* FindCodePage(const std::string& strName);

// The names of every page, comma separated, for messages.
std::string CodePageNames();

// True when strText is well-formed UTF-8 (no overlong forms, no surrogates, nothing past U+10FFFF).
bool IsUtf8(const std::string& strText);

// strText as UTF-8: unchanged when it already is UTF-8, else each byte decoded through pPage.
std::string ToUtf8(const std::string& strText, const CodePage& page);

}  // namespace qwlog

#endif
