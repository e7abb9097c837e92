// The POSIX lock where the system refuses the process-wide barrier its sleepers
// rely on (a sandbox's syscall filter, an old kernel): sleepers then look again
// by themselves, and the lock still lets one thread in at a time and every
// waiter in at last.
#include "Support.h"

#include "Platform.h"

#include <errno.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <stddef.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

class PosixLockTest : public ::testing::Test {};

// Makes every membarrier call of this process fail with ENOSYS from now on.
// FALSE when the filter could not be installed.
bool RefuseBarrier()
{
    struct sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(struct seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_membarrier, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | (ENOSYS & SECCOMP_RET_DATA)),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    struct sock_fprog prog = { (unsigned short)(sizeof(filter) / sizeof(filter[0])), filter };
    return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 && prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &prog) == 0;
}

// Three threads take a lock with no spin (every wait sleeps) and hold it a
// while; exits with 0 when the barrier was refused, no take found another
// thread inside and every take was made.
void ContendWithoutBarrier()
{
    if (!RefuseBarrier() || syscall(SYS_membarrier, 0, 0, 0) != -1)
        _exit(2);
    QW_LOCK lock;
    QwInitLock(&lock, 0);
    std::atomic<int> nInside(0), nOverlaps(0);
    int nTakes = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t)
        threads.emplace_back([&]() {
            for (int i = 0; i < 100; ++i) {
                QwEnterLock(&lock);
                if (nInside.fetch_add(1) != 0)
                    ++nOverlaps;
                ++nTakes;
                std::this_thread::sleep_for(std::chrono::microseconds(100));
                nInside.fetch_sub(1);
                QwLeaveLock(&lock);
            }
        });
    for (std::thread& th : threads)
        th.join();
    _exit(nOverlaps.load() == 0 && nTakes == 300 ? 0 : 1);
}

} // namespace

TEST_F(PosixLockTest, SleepersGetInWhereTheSystemRefusesTheBarrier)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(ContendWithoutBarrier(), ::testing::ExitedWithCode(0), "");
}
