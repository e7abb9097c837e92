// The log file's handle is not inherited by processes the host starts.
#include "Support.h"

#include <windows.h>

#include <io.h>

using namespace qwtest;

namespace {

class WinHandleTest : public QwTest {};

} // namespace

TEST_F(WinHandleTest, TheLogFileHandleIsNotInheritable)
{
    LogPtr log = NewLog();
    ASSERT_EQ(TRUE, log->Open("inherit"));
    HANDLE hFile = (HANDLE)_get_osfhandle(_fileno(CTxtLogProbe::File(log.get())));
    ASSERT_NE(INVALID_HANDLE_VALUE, hFile);
    DWORD dwFlags = 0xFFFFFFFF;
    ASSERT_TRUE(GetHandleInformation(hFile, &dwFlags));
    EXPECT_EQ(0u, dwFlags & HANDLE_FLAG_INHERIT);
}
