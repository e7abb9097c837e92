// CEntryQueue: batches of entries, one writer at a time, the others waiting.
#include "EntryQueue.h"

#include <thread>

namespace {

// Waiting for a write: this many rounds of a processor pause (some 10 to 50 us,
// enough for a write of a few KiB: a sleep and a wake-up would cost as much),
// then this many yields of the time slice, then asleep until woken.
const unsigned int SPIN_PAUSES = 1000;
const unsigned int SPIN_YIELDS = 20;

} // namespace

CEntryQueue::CEntryQueue(QW_LOCK* pLock)
    : m_pLock(pLock)
    , m_nPending(0)
    , m_nFill(0)
    , m_pFile(NULL)
    , m_nLastMark(0)
    , m_nShared(0)
    , m_nSharedEntries(QwGatherAppends() ? SHARED_ENTRIES : 0)
    , m_nAdded(0)
    , m_nWritten(0)
    , m_bWriting(false)
    , m_nDrainers(0)
    , m_nSleepers(0)
{
}

char* CEntryQueue::Room(size_t nMax)
{
    if (nMax > (size_t)BATCH_SIZE - m_nFill)
        return NULL;
    return m_aBatch[m_nPending] + m_nFill;
}

CEntryQueue::QW_TICKET CEntryQueue::Add(FILE* pFile, size_t nLen)
{
    QW_TICKET ticket;
    m_nFill += nLen;
    m_pFile = pFile;
    ticket.nEnd = m_nAdded.load(std::memory_order_relaxed) + nLen;
    m_nAdded.store(ticket.nEnd, std::memory_order_relaxed);
    // A role just given up may still look taken here: this thread then waits,
    // sees it free, and takes it over (WaitWritten), so no barrier is needed.
    // Seeing it free (acquire) orders the last write's use of the other buffer
    // before this thread lays entries out in it.
    ticket.bWriter = !m_bWriting.load(std::memory_order_acquire) && m_nDrainers.load(std::memory_order_relaxed) == 0;
    if (ticket.bWriter) {
        m_bWriting.store(true, std::memory_order_relaxed);  // others claim it under the lock only
        ticket.batch = TakeBatch();
    }
    CountShared(ticket.bWriter && ticket.batch.nLen == nLen);
    return ticket;
}

bool CEntryQueue::Direct(unsigned long long nMark)
{
    if (nMark != m_nLastMark) {
        if (m_nLastMark != 0)  // 0: the object's first caller, which shares it with no one
            m_nShared = m_nSharedEntries;
        m_nLastMark = nMark;
    }
    if (m_nShared != 0 || m_nFill != 0 || m_nDrainers.load(std::memory_order_relaxed) != 0)
        return false;
    // Seeing the role free (acquire) orders the last write of the queue before
    // the caller's.
    return !m_bWriting.load(std::memory_order_acquire);
}

// Under the lock, for an entry just added: counts one entry that had the queue
// to itself (bAlone) towards direct writes again, or starts the count over.
void CEntryQueue::CountShared(bool bAlone)
{
    if (!bAlone)
        m_nShared = m_nSharedEntries;
    else if (m_nShared != 0)
        --m_nShared;
}

void CEntryQueue::Finish(const QW_TICKET& ticket)
{
    if (ticket.bWriter)
        Write(ticket.batch);
    else
        WaitWritten(ticket.nEnd);
}

// TRUE when the first nEnd bytes added are in the operating system.
bool CEntryQueue::Written(unsigned long long nEnd) const
{
    return m_nWritten.load(std::memory_order_acquire) >= nEnd;
}

// Under the lock, holding the writer's role: the pending batch, and the other
// buffer (free, as no write is in flight) becomes the pending one.
CEntryQueue::QW_BATCH CEntryQueue::TakeBatch()
{
    QW_BATCH batch;
    batch.pFile = m_pFile;
    batch.p = m_aBatch[m_nPending];
    batch.nLen = m_nFill;
    batch.nEnd = m_nAdded.load(std::memory_order_relaxed);
    m_nPending ^= 1;
    m_nFill = 0;
    return batch;
}

// Holding the writer's role, without the lock: appends the batch, publishes it
// and gives up the role. What was added meanwhile is left to the threads that
// added it: the first of them to see the role free takes it (TakeOver). The
// writer does not go on with it: its own call returns at once, and handing the
// role over costs less than coming back for the lock while others lay entries
// out under it (measured: two threads 1.1-1.2 times the floor's throughput
// against 0.8 when the writer went on).
void CEntryQueue::Write(const QW_BATCH& batch)
{
    if (batch.nLen != 0)
        QwAppendWhole(batch.pFile, batch.p, batch.nLen);
    m_nWritten.store(batch.nEnd, std::memory_order_release);
    m_bWriting.store(false);
    if (m_nSleepers.load() != 0)
        Wake();
}

// Takes the writer's role, and the pending batch, when the entry ending at nEnd
// is not written and no one holds the role or waits to drain. Takes the lock.
bool CEntryQueue::TakeOver(unsigned long long nEnd, QW_BATCH& batch)
{
    QwEnterLock(m_pLock);
    bool bTaken = !Written(nEnd) && !m_bWriting.load(std::memory_order_acquire)
                  && m_nDrainers.load(std::memory_order_relaxed) == 0 && m_nFill != 0;
    if (bTaken) {
        m_bWriting.store(true, std::memory_order_relaxed);
        batch = TakeBatch();
    }
    QwLeaveLock(m_pLock);
    return bTaken;
}

void CEntryQueue::WaitWritten(unsigned long long nEnd)
{
    for (unsigned int nRound = 0; !Written(nEnd); ++nRound) {
        if (!m_bWriting.load() && m_nDrainers.load() == 0) {
            // The write in flight is done and this entry still pending: write it here.
            QW_BATCH batch;
            if (TakeOver(nEnd, batch)) {
                Write(batch);
                return;
            }
        } else if (nRound < SPIN_PAUSES + SPIN_YIELDS) {
            Pause(nRound);
        } else {
            Sleep(nEnd, false);
        }
    }
}

void CEntryQueue::Drain()
{
    m_nDrainers.fetch_add(1);
    while (m_bWriting.load()) {
        QwLeaveLock(m_pLock);
        for (unsigned int nRound = 0; m_bWriting.load(); ++nRound) {
            if (nRound < SPIN_PAUSES + SPIN_YIELDS)
                Pause(nRound);
            else
                Sleep(0, true);
        }
        QwEnterLock(m_pLock);
    }
    m_bWriting.store(true, std::memory_order_relaxed);
    m_nDrainers.fetch_sub(1);
    if (m_nFill != 0) {
        QW_BATCH batch = TakeBatch();
        QwAppendWhole(batch.pFile, batch.p, batch.nLen);
        m_nWritten.store(batch.nEnd, std::memory_order_release);
    }
}

void CEntryQueue::EndDrain()
{
    m_bWriting.store(false);
    if (m_nSleepers.load() != 0)
        Wake();
}

// Wakes every sleeper to look again at what it waits for.
void CEntryQueue::Wake()
{
    {
        // A sleeper between its look and its wait holds the mutex: taking it
        // here means the notification cannot fall into that gap.
        std::lock_guard<std::mutex> lock(m_mtxSleep);
    }
    m_cvSleep.notify_all();
}

// One round of waiting while another thread writes: a processor pause, later a
// yield of the time slice.
void CEntryQueue::Pause(unsigned int nRound)
{
    if (nRound < SPIN_PAUSES)
        QwCpuRelax();
    else
        std::this_thread::yield();
}

// Sleeps until woken with the entry ending at nEnd written or no one left to
// write it (bIdle: until no one holds the writer's role).
void CEntryQueue::Sleep(unsigned long long nEnd, bool bIdle)
{
    std::unique_lock<std::mutex> lock(m_mtxSleep);
    m_nSleepers.fetch_add(1);
    if (bIdle) {
        while (m_bWriting.load())
            m_cvSleep.wait(lock);
    } else {
        while (!Written(nEnd) && (m_bWriting.load() || m_nDrainers.load() != 0))
            m_cvSleep.wait(lock);
    }
    m_nSleepers.fetch_sub(1);
}
