// CHandIn: the entries handed in, pushed onto a list without a lock and taken
// whole by the holder of the object's lock, and the gathering buffer.
#include "HandIn.h"

#include <new>

CHandIn::CHandIn()
    : m_pHead(NULL)
    , m_pBuffer(new (std::nothrow) char[GATHER_SIZE])
{
}

CHandIn::~CHandIn() { delete[] m_pBuffer; }

void CHandIn::Add(QW_PENDING& pending)
{
    // Pushed onto the front: the list is newest first until Take turns it.
    QW_PENDING* pHead = m_pHead.load(std::memory_order_relaxed);
    do
        pending.pNext = pHead;
    while (!m_pHead.compare_exchange_weak(pHead, &pending, std::memory_order_release, std::memory_order_relaxed));
}

CHandIn::QW_PENDING* CHandIn::Take()
{
    // Nodes are only ever pushed one by one and taken all at once, so a node's
    // pNext, written before its push, is read after the exchange sees it.
    QW_PENDING* pNewest = m_pHead.exchange(NULL, std::memory_order_acquire);
    QW_PENDING* pOldest = NULL;
    while (pNewest != NULL) {
        QW_PENDING* pNext = pNewest->pNext;
        pNewest->pNext = pOldest;
        pOldest = pNewest;
        pNewest = pNext;
    }
    return pOldest;
}
