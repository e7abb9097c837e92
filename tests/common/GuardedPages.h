// Two pages of memory for the suites that feed the library unreadable input:
// the first readable (filled with 0xAB), the second not. One source per platform.
#ifndef QW_TEST_GUARDEDPAGES_H
#define QW_TEST_GUARDEDPAGES_H

#include <stddef.h>

namespace qwtest {

class GuardedPages
{
public:
    GuardedPages();
    ~GuardedPages();
    const unsigned char* Readable() const { return m_p; }
    const unsigned char* Guard() const { return m_p + m_nPage; }
    size_t Page() const { return m_nPage; }

private:
    GuardedPages(const GuardedPages&);
    GuardedPages& operator=(const GuardedPages&);
    size_t m_nPage;
    unsigned char* m_p;
};

} // namespace qwtest

#endif
