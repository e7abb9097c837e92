// The Windows console's reading of the system's control events.
#include "../../Win32/Win32Console.h"

#include <gtest/gtest.h>

TEST(WinConsoleTest, OnlyCtrlCAndCtrlBreakAreNamedAsSuch)
{
    const struct { DWORD dwCtrlType; QW_CONTROL nEvent; } cases[] = {
        { CTRL_C_EVENT, QW_CONTROL_C },         { CTRL_BREAK_EVENT, QW_CONTROL_BREAK },
        { CTRL_CLOSE_EVENT, QW_CONTROL_OTHER }, { CTRL_LOGOFF_EVENT, QW_CONTROL_OTHER },
        { CTRL_SHUTDOWN_EVENT, QW_CONTROL_OTHER }, { 3, QW_CONTROL_OTHER }, { 0xFFFFFFFF, QW_CONTROL_OTHER },
    };
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i)
        EXPECT_EQ(cases[i].nEvent, QwControlOf(cases[i].dwCtrlType)) << cases[i].dwCtrlType;
}
