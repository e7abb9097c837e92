// The library's one export: the factory of log objects.
#include "Quillwork.h"

#include "Framework.h"
#include "TxtLog.h"

#include <new>

namespace {

const int LOG_TYPE_TEXT = 0;
const int LOG_TYPE_RESERVED = 1;

// A new CTxtLog in memory from the object allocator; NULL when there is none
// or construction ran out of memory. The thread is not cancelled meanwhile.
ILogObject* NewTextLog()
{
    CQwNoCancel noCancel;  // construction opens, reads and cleans
    void* pMemory = QwAllocObject(sizeof(CTxtLog));
    if (pMemory == NULL)
        return NULL;
    try {
        return new (pMemory) CTxtLog;
    } catch (...) {
        QwFreeObject(pMemory);
        return NULL;
    }
}

} // namespace

extern "C" QUILLWORK_API ILogObject* QUILLWORK_CALL CreateLogObject(int nType)
{
    if (nType == LOG_TYPE_TEXT)
        return NewTextLog();
    if (nType != LOG_TYPE_RESERVED)
        QwReport("Invaild log format file!");
    return NULL;
}
