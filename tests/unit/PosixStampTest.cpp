// The thread id of THREAD=1 on Linux: the kernel's id, kept per thread, and
// asked again in the child of a fork (whose one thread is a new one).
#include "Support.h"

#include <sys/wait.h>
#include <unistd.h>

using namespace qwtest;

TEST(PosixThreadId, IsTheKernelsIdAndIsAskedAgainAfterFork)
{
    const DWORD nParent = QwSystemThreadId();
    EXPECT_EQ((DWORD)getpid(), nParent) << "the main thread's id is the process id";
    EXPECT_EQ(nParent, QwSystemThreadId());
    pid_t nChild = fork();
    ASSERT_NE(-1, nChild);
    if (nChild == 0) {
        // The child's thread runs on the copy of the parent's, cache included.
        _exit(QwSystemThreadId() == (DWORD)getpid() && QwSystemThreadId() != nParent ? 0 : 1);
    }
    int nStatus = 0;
    ASSERT_EQ(nChild, waitpid(nChild, &nStatus, 0));
    EXPECT_TRUE(WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 0) << "the child saw its parent's thread id";
    EXPECT_EQ(nParent, QwSystemThreadId());
}
