// The table of conversions that the library hands to the platform, with
// glibc's text of each (FormatTable.inc, written by data/make_format_table.py).
#ifndef QW_TEST_FORMAT_TABLE_H
#define QW_TEST_FORMAT_TABLE_H

#include <stddef.h>

#include <string>

namespace qwtest {

// How a row's argument is passed.
enum FT_KIND { FT_INT, FT_LONG, FT_LLONG, FT_PTRDIFF, FT_STRING, FT_WSTRING, FT_POINTER };

struct FormatTableRow
{
    const char* pszFormat;
    int nKind;  // an FT_KIND
    long long nValue;
    const char* pszString;  // FT_STRING's argument; FT_WSTRING's, as ASCII
    const char* pszGlibc;   // glibc's text
};

extern const FormatTableRow g_aFormatTable[];
extern const size_t g_nFormatTable;

// The library's text of row's format with its argument.
std::string FormatTableText(const FormatTableRow& row);

} // namespace qwtest

#endif
