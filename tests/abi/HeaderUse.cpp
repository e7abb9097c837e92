// A C++ host's use of the public header, with <windows.h> before it, after it or
// not at all (QW_WINDOWS_FIRST / QW_WINDOWS_AFTER), as the header check builds it.
#if defined(QW_WINDOWS_FIRST)
#include <windows.h>
#endif
#include "Quillwork.h"
#if defined(QW_WINDOWS_AFTER)
#include <windows.h>
#endif

// Creates, uses and releases one object through a factory found at run time.
int UseLog(PFN_CREATELOGOBJECT pfnCreate)
{
    ILogObject* pLog = pfnCreate(0);
    if (pLog == 0)
        return 0;
    BOOL bOk = pLog->Open("use") && pLog->WriteLog("%d", 1) && pLog->Close();
    pLog->Release();
    return bOk;
}

// The linked factory, when the host links the library.
PFN_CREATELOGOBJECT LinkedFactory() { return &CreateLogObject; }
