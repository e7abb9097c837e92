// CHandIn: the entries handed in to an object and not yet written. A thread
// lays its entry out, hands it in, then takes the object's lock; whoever holds
// the lock takes every entry handed in so far and writes them in the order
// they were handed in (several whole ones in one append), so a thread that
// finds its entry written when it gets the lock returns at once. The entries
// stay in their threads' memory: a thread does not leave its call before its
// entry is written.
#ifndef QUILLWORK_HANDIN_H
#define QUILLWORK_HANDIN_H

#include "Platform.h"

#include <atomic>

class CEntryText;

class CHandIn
{
public:
    // An entry handed in, on its thread's stack.
    struct QW_PENDING
    {
        CEntryText* pEntry;
        DWORD nThread;    // the id its stamp carries (CStamp::Owner of its thread)
        QW_PENDING* pNext;  // the next one (Take's order) once taken
        bool bWritten;    // under the object's lock: written, or dropped with a closed file
    };

    enum { GATHER_SIZE = 32 << 10 };  // the most bytes several entries' one append takes

    CHandIn();
    ~CHandIn();

    // Hands pending in, after every entry handed in before it. Any thread, no
    // lock needed.
    void Add(QW_PENDING& pending);
    // Under the object's lock: every entry handed in so far and not taken,
    // oldest first, linked by pNext; NULL when there is none. The holder marks
    // each bWritten before it gives the lock back.
    QW_PENDING* Take();

    // GATHER_SIZE bytes for several entries' one append, under the object's
    // lock; NULL when no memory could be had (each entry is then written alone).
    char* Buffer() const { return m_pBuffer; }

    // In the child of fork(): drops the entries the parent's other threads
    // handed in (the parent writes them).
    void ForgetAll() { m_pHead.store(NULL); }

private:
    CHandIn(const CHandIn&);
    CHandIn& operator=(const CHandIn&);

    std::atomic<QW_PENDING*> m_pHead;  // the entries handed in, newest first
    char* m_pBuffer;
};

#endif
