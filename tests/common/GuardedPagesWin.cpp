#include "GuardedPages.h"

#include <windows.h>
#include <string.h>

namespace qwtest {

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
