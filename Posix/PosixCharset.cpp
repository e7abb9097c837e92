// The charset the reader of the process's text reads (see PosixCharset.h), and
// the search for an ASCII character in the text of a name.
#include "PosixCharset.h"

#include "../LogClass/Platform.h"

#include <langinfo.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

namespace {

// True when pszName names UTF-8 ("UTF-8", "en_US.utf8", ...), in any case.
bool NamesUtf8(const char* pszName)
{
    for (const char* p = pszName; p != NULL && *p != '\0'; ++p)
        if (strncasecmp(p, "utf-8", 5) == 0 || strncasecmp(p, "utf8", 4) == 0)
            return true;
    return false;
}

} // namespace

bool QwReadsUtf8()
{
    if (NamesUtf8(nl_langinfo(CODESET)))
        return true;
    const char* apszNames[] = { "LC_ALL", "LC_CTYPE", "LANG" };
    for (size_t i = 0; i < sizeof(apszNames) / sizeof(apszNames[0]); ++i) {
        const char* pszValue = secure_getenv(apszNames[i]);
        if (pszValue != NULL && pszValue[0] != '\0')
            return NamesUtf8(pszValue);
    }
    return false;
}

const char* QwFindChar(const char* psz, char c) { return psz == NULL ? NULL : strchr(psz, c); }

const char* QwFindLastChar(const char* psz, char c) { return psz == NULL ? NULL : strrchr(psz, c); }
