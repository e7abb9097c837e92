// CEntryQueue: the entries of one log object on their way to its file.
//
// Entries are laid out, under the object's lock, at the end of a pending
// batch. The thread that finds no write in flight becomes the writer: it takes
// the batch, leaves the lock and appends the batch in one write (each entry
// whole, several entries may share the write). Every other thread waits
// (spinning briefly, then asleep) until its own entry is written; when the
// write in flight ends with its entry still pending, the first such thread
// takes the writer's role and the batch. So each call returns with its entry
// in the operating system, and entries reach the file in the order they were
// added. The lock is held while an entry is laid out, never across a write.
//
// Whoever must write past the queue (the console mirror, a dump too large for a
// batch, closing or changing the file) drains it first: Drain waits for the
// write in flight, writes what is pending and keeps the writer's role until
// EndDrain, so no write of the queue runs meanwhile.
//
// A thread that has the object to itself skips the queue: when nothing is
// pending, no write is in flight, no one drains and no other thread came to
// the object lately, it lays its entry out and writes it under the lock
// (Direct), which spares the hand-over of the writer's role. A call from
// another thread than the last sends the entries through the queue until
// SHARED_ENTRIES of them in a row found it to themselves. Where the platform's
// lock passes between threads faster than gathering saves (QwGatherAppends is
// FALSE), every thread writes directly and the queue stays empty. Either way is
// whole and in stamp order: which one is taken only decides what a call costs.
#ifndef QUILLWORK_ENTRYQUEUE_H
#define QUILLWORK_ENTRYQUEUE_H

#include "Platform.h"

#include <atomic>
#include <condition_variable>
#include <mutex>

class CEntryQueue
{
public:
    enum { BATCH_SIZE = 65536 };   // the most one batch holds
    enum { SHARED_ENTRIES = 4096 };  // entries queued after another thread was seen

    // The bytes one writer appends in one write.
    struct QW_BATCH
    {
        FILE* pFile;
        const char* p;
        size_t nLen;
        unsigned long long nEnd;  // the queue's count of bytes added, this batch included
    };

    // Where an entry stands: the count of bytes added up to its end, and, for
    // the thread that became the writer as it added it, the batch it took.
    struct QW_TICKET
    {
        unsigned long long nEnd;
        bool bWriter;
        QW_BATCH batch;
    };

    // pLock is the owner's lock, which the functions marked "under the lock" expect
    // held exactly once by the caller.
    explicit CEntryQueue(QW_LOCK* pLock);

    // Under the lock: room for nMax bytes at the end of the pending batch, or
    // NULL when the batch cannot take that many now (the caller drains and
    // writes by itself instead).
    char* Room(size_t nMax);

    // Under the lock: adds the nLen bytes laid out at Room() as one entry for
    // pFile (every entry of one batch is for the same file: whoever changes the
    // file drains first). When no write is in flight and no one drains, the
    // caller becomes the writer and the ticket carries the batch it took.
    QW_TICKET Add(FILE* pFile, size_t nLen);

    // Without the lock: returns once the ticket's entry is in the operating
    // system, having written it (and whatever else was pending) when the ticket
    // made this thread the writer or when the write in flight ended without it.
    void Finish(const QW_TICKET& ticket);

    // Under the lock: the count of bytes added so far; WaitWritten of it returns
    // once everything added before is written.
    unsigned long long Added() const { return m_nAdded.load(std::memory_order_relaxed); }

    // TRUE when everything added is written and no one holds the writer's role
    // (as after Drain and EndDrain, with no entry added since).
    bool Idle() const { return !m_bWriting.load() && m_nWritten.load() == m_nAdded.load(); }

    // Without the lock: returns once the first nEnd bytes added are written.
    void WaitWritten(unsigned long long nEnd);

    // Under the lock: waits for the write in flight (leaving the lock meanwhile),
    // writes what is pending, and holds the writer's role until EndDrain. While
    // it holds the role the caller may write to the file itself and close or
    // change it. As the lock may be left meanwhile, what the caller read under it
    // before (the file above all: another thread may have closed or opened it)
    // is to be read again after.
    void Drain();
    // Under the lock: gives the writer's role back after Drain.
    void EndDrain();

    // Under the lock: TRUE when the caller may write its entry itself, under the
    // lock and before it returns: nothing is pending, no write is in flight, no
    // one drains and no other thread came lately. nMark tells the calling
    // thread from others (0 is no caller yet); a mark that is not the last
    // caller's counts as another thread.
    bool Direct(unsigned long long nMark);

    // Holds the queue drained for one scope (Drain at its start, EndDrain at
    // its end, an exception passing through included). Under the lock.
    class CDrainScope
    {
    public:
        explicit CDrainScope(CEntryQueue& queue) : m_queue(queue) { m_queue.Drain(); }
        ~CDrainScope() { m_queue.EndDrain(); }

    private:
        CDrainScope(const CDrainScope&);
        CDrainScope& operator=(const CDrainScope&);
        CEntryQueue& m_queue;
    };

private:
    CEntryQueue(const CEntryQueue&);
    CEntryQueue& operator=(const CEntryQueue&);

    bool Written(unsigned long long nEnd) const;
    void CountShared(bool bAlone);
    QW_BATCH TakeBatch();
    void Write(const QW_BATCH& batch);
    bool TakeOver(unsigned long long nEnd, QW_BATCH& batch);
    void Wake();
    void Pause(unsigned int nRound);
    void Sleep(unsigned long long nEnd, bool bIdle);

    QW_LOCK* m_pLock;
    // Under the lock: the pending batch (index into m_aBatch), its length and file.
    unsigned int m_nPending;
    size_t m_nFill;
    FILE* m_pFile;
    // Under the lock: the mark of the thread that called Direct last, and the
    // entries still to go through the queue before a direct write is tried
    // again (set when another thread came or an entry found a write in flight,
    // counted down by entries that found the queue to themselves).
    unsigned long long m_nLastMark;
    unsigned int m_nShared;
    // SHARED_ENTRIES where the platform gathers the appends of several threads,
    // 0 where each thread appends its own entry (QwGatherAppends).
    const unsigned int m_nSharedEntries;
    // Bytes added and bytes written since construction; m_nAdded changes under
    // the lock, m_nWritten by the writer alone; both read without the lock.
    std::atomic<unsigned long long> m_nAdded;
    std::atomic<unsigned long long> m_nWritten;
    // A writer holds the role (set under the lock, cleared by the writer); a
    // drainer waits for it (under the lock).
    std::atomic<bool> m_bWriting;
    std::atomic<int> m_nDrainers;
    // Threads asleep in Sleep, and what they sleep on.
    std::atomic<int> m_nSleepers;
    std::mutex m_mtxSleep;
    std::condition_variable m_cvSleep;

    char m_aBatch[2][BATCH_SIZE];
};

#endif
