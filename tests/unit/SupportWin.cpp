// The Windows side of the test scaffolding: time zone, page protection, limits.
#include "Support.h"

#include <stdlib.h>
#include <string.h>
#include <time.h>

namespace qwtest {

const size_t MESSAGE_LIMIT = 1023;  // wvsprintfA's own output limit
const std::string SEP = "\\";

void UseUtc()
{
    _putenv("TZ=UTC0");
    _tzset();
}

GuardedPages::GuardedPages()
{
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    m_nPage = info.dwPageSize;
    m_p = (unsigned char*)VirtualAlloc(NULL, 2 * m_nPage, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    memset(m_p, 0xAB, m_nPage);
    DWORD dwOld = 0;
    VirtualProtect(m_p + m_nPage, m_nPage, PAGE_NOACCESS, &dwOld);
}

GuardedPages::~GuardedPages() { VirtualFree(m_p, 0, MEM_RELEASE); }

} // namespace qwtest
