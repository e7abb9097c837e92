// The unit suite's scaffolding on top of the shared one: captured console calls
// (a console table that records every call instead of making it), the fixture
// with its own object, and the formatter's text.
#ifndef QW_UNIT_SUPPORT_H
#define QW_UNIT_SUPPORT_H

#include "Formatter.h"
#include "Framework.h"
#include "Probe.h"
#include "Quillwork.h"
#include "GuardedPages.h"
#include "QwTestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace qwtest {

// The console recorder: every call of the console table, in order.
struct ConsoleRecorder
{
    // Clears the calls; AllocConsole returns bAllocResult from now on.
    static void Reset(BOOL bAllocResult = TRUE);
    // The console's state as the recorder stands for it (kept up to date by the calls
    // that set sizes and colour), the state of its Close item and its input mode.
    static void Found(const QW_CONSOLE_STATE& state, unsigned int nCloseState, DWORD nInputMode);
    // Whether OpenConsoleOutput gives each object an output of its own (as on POSIX)
    // or NULL (as on Windows, where the standard handle is used).
    static void OwnOutput(bool bOwn);
    // The control handler installed now, or NULL.
    static PFN_QWCONTROL Handler();
    // All calls, queries (StdOutput, ConsoleTitle, FindConsoleWindow, SystemMenu...) included.
    static std::vector<std::string> All();
    // The calls that change or show something: queries, and the opening, closing and
    // batching of an object's own output, left out.
    static std::vector<std::string> Effects();
    // Everything given to WriteConsoleText, joined.
    static std::string Written();
    static const QW_CONSOLE_API* Table();
};

// The console the recorder stands for at the start of each test: a buffer of 80 x 300,
// a window of 80 x 25, yellow on blue (0x1E), Close item enabled, QuickEdit on.
QW_CONSOLE_STATE FoundConsole();
extern const DWORD FOUND_INPUT_MODE;

// The message QwFormatV makes of the format and its arguments (2048-byte buffer).
std::string Formatted(const char* pszFormat, ...);

// Releases the object a LogPtr holds when the pointer goes.
struct Releaser
{
    void operator()(ILogObject* p) const
    {
        if (p != NULL)
            p->Release();
    }
};
typedef std::unique_ptr<ILogObject, Releaser> LogPtr;

// The shared fixture with the console recorder installed (the console the
// recorder stands for is FoundConsole's), the allocator of the process, and an
// object of the test's own. TearDown releases the object first, checks that no
// object still holds the console, and gives every seam back.
class QwTest : public LogTest
{
protected:
    void SetUp() override;
    void TearDown() override;

    LogPtr NewLog();

    LogPtr m_log;  // a fixture's own object; released first in TearDown, before its folder goes
};

} // namespace qwtest

#endif
