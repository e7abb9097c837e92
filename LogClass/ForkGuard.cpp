// CForkGuard: every lock of the library taken before fork() and given back
// after it, in parent and child.
#include "ForkGuard.h"

#include "LogFolder.h"
#include "TxtLog.h"

#include <mutex>
#include <set>

namespace {

// The live objects, and the mutex that guards the set. Lock order: this mutex,
// then the objects' locks (in the set's order), then the log folders' totals.
// Nothing takes this mutex while it holds an object's lock.
std::mutex s_mtxLive;
std::set<CTxtLog*> s_live;

} // namespace

void CForkGuard::Add(CTxtLog* pLog)
{
    static const bool s_bInstalled = (QwOnFork(&CForkGuard::Prepare, &CForkGuard::Resume, &CForkGuard::ResumeChild), true);
    (void)s_bInstalled;
    std::lock_guard<std::mutex> lock(s_mtxLive);
    s_live.insert(pLog);
}

void CForkGuard::Remove(CTxtLog* pLog)
{
    std::lock_guard<std::mutex> lock(s_mtxLive);
    s_live.erase(pLog);
}

// Before fork(): takes every lock a thread of the library may hold, so none is
// held by a thread that will not exist in the child.
void CForkGuard::Prepare()
{
    s_mtxLive.lock();
    for (std::set<CTxtLog*>::iterator it = s_live.begin(); it != s_live.end(); ++it)
        (*it)->Lock();
    CLogFolder::HoldTotals();
}

// After fork(), in parent and child alike: the forking thread, the only one
// in the child, gives back what Prepare took, in the reverse order.
void CForkGuard::Resume() { ResumeWith(false); }

// In the child, the entries other threads handed in are dropped from each
// object's list as well: they are the parent's to write.
void CForkGuard::ResumeChild() { ResumeWith(true); }

void CForkGuard::ResumeWith(bool bChild)
{
    CLogFolder::ReleaseTotals();
    for (std::set<CTxtLog*>::reverse_iterator it = s_live.rbegin(); it != s_live.rend(); ++it) {
        if (bChild)
            (*it)->m_handIn.ForgetAll();
        (*it)->Unlock();
    }
    s_mtxLive.unlock();
}
