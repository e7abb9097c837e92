// The reliability suites, and the child that the crash suite starts: given
// "--crash-child <host folder>" the program writes numbered entries until it
// is killed, reporting each number on standard output once its call returned.
#include "Support.h"

#include <string.h>

namespace qwrel {
int RunCrashChild(const char* pszHost);
}

int main(int argc, char** argv)
{
    if (argc == 3 && strcmp(argv[1], "--crash-child") == 0)
        return qwrel::RunCrashChild(argv[2]);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
