#include "GuardedPages.h"

#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

namespace qwtest {

GuardedPages::GuardedPages()
{
    m_nPage = (size_t)sysconf(_SC_PAGESIZE);
    m_p = (unsigned char*)mmap(NULL, 2 * m_nPage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    memset(m_p, 0xAB, m_nPage);
    mprotect(m_p + m_nPage, m_nPage, PROT_NONE);
}

GuardedPages::~GuardedPages() { munmap(m_p, 2 * m_nPage); }

} // namespace qwtest
