// The readability probe on Windows: it must judge guard and no-access pages
// without touching them, so a guard page stays armed.
#include "Platform.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace {

TEST(WinMemory, ProbeJudgesPagesWithoutTouchingThem)
{
    SYSTEM_INFO si;
    GetSystemInfo(&si);
    const SIZE_T nPage = si.dwPageSize;
    unsigned char* pBase = (unsigned char*)VirtualAlloc(NULL, 3 * nPage, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    ASSERT_TRUE(pBase != NULL);
    DWORD dwOld = 0;
    ASSERT_TRUE(VirtualProtect(pBase + nPage, nPage, PAGE_READWRITE | PAGE_GUARD, &dwOld));
    ASSERT_TRUE(VirtualProtect(pBase + 2 * nPage, nPage, PAGE_NOACCESS, &dwOld));

    EXPECT_EQ(TRUE, QwIsReadable(pBase, (unsigned int)nPage));
    EXPECT_EQ(FALSE, QwIsReadable(pBase + nPage, 16));                  // guard page
    EXPECT_EQ(FALSE, QwIsReadable(pBase + nPage - 8, 16));              // runs into it
    EXPECT_EQ(FALSE, QwIsReadable(pBase + 2 * nPage, 1));               // no access
    EXPECT_EQ(TRUE, QwIsReadable(pBase + 2 * nPage, 0));                // a count of 0
    EXPECT_EQ(TRUE, QwIsReadable(NULL, 0));
    EXPECT_EQ(FALSE, QwIsReadable(NULL, 1));

    MEMORY_BASIC_INFORMATION mbi;
    ASSERT_NE(0u, VirtualQuery(pBase + nPage, &mbi, sizeof(mbi)));
    EXPECT_NE(0u, mbi.Protect & PAGE_GUARD) << "the probe disarmed the guard page";
    VirtualFree(pBase, 0, MEM_RELEASE);
}

} // namespace
