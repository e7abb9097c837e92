// The table of conversions handed to the platform: see FormatTable.h.
#include "FormatTable.h"
#include "Support.h"

#include <stdint.h>
#include <string.h>

namespace qwtest {

const FormatTableRow g_aFormatTable[] = {
#include "FormatTable.inc"
};

const size_t g_nFormatTable = sizeof(g_aFormatTable) / sizeof(g_aFormatTable[0]);

std::string FormatTableText(const FormatTableRow& row)
{
    switch (row.nKind) {
    case FT_LONG: return Formatted(row.pszFormat, (long)row.nValue);
    case FT_LLONG: return Formatted(row.pszFormat, row.nValue);
    case FT_PTRDIFF: return Formatted(row.pszFormat, (ptrdiff_t)row.nValue);
    case FT_STRING: return Formatted(row.pszFormat, row.pszString);
    case FT_WSTRING: {
        if (row.pszString == NULL)
            return Formatted(row.pszFormat, (const wchar_t*)NULL);
        std::wstring strWide(row.pszString, row.pszString + strlen(row.pszString));
        return Formatted(row.pszFormat, strWide.c_str());
    }
    case FT_POINTER: return Formatted(row.pszFormat, (const void*)(uintptr_t)row.nValue);
    default: return Formatted(row.pszFormat, (int)row.nValue);
    }
}

} // namespace qwtest
