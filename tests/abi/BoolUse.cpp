// A host with a BOOL of its own, set up before or after the public header as the
// macro QW_BOOL_CASE says; every case must compile warning-free, and the interface's
// operations must still return and take a 32-bit int.
#if QW_BOOL_CASE == 1            // <windows.h> first
#include <windows.h>
#elif QW_BOOL_CASE == 3          // a macro of the host's, the same type
#define BOOL int
#elif QW_BOOL_CASE == 4          // a macro of the host's, another type
#define BOOL bool
#elif QW_BOOL_CASE == 5          // a typedef of the host's, the same type
typedef int BOOL;
#elif QW_BOOL_CASE == 7          // a typedef of the host's, another type
#define QUILLWORK_NO_BOOL
typedef unsigned char BOOL;
#endif
#include "Quillwork.h"
#if QW_BOOL_CASE == 2            // <windows.h> after
#include <windows.h>
#elif QW_BOOL_CASE == 6          // a typedef of the host's after, the same type
typedef int BOOL;
#endif

// Compiles only where T and U are one type.
template <class T, class U> struct QwSameType;
template <class T> struct QwSameType<T, T> { enum { value = 1 }; };

// The slots keep their int results and arguments, whatever BOOL is.
int CheckSlots()
{
    int (ILogObject::*pfnOpen)(const char*) = &ILogObject::Open;
    int (ILogObject::*pfnShow)(int) = &ILogObject::ShowConsole;
    int (ILogObject::*pfnHex)(const unsigned char*, unsigned int, int, int) = &ILogObject::WriteHex;
    return QwSameType<QWBOOL, int>::value + (pfnOpen != 0) + (pfnShow != 0) + (pfnHex != 0);
}

// The host's BOOL holds what an operation returns.
BOOL UseLog(ILogObject* pLog)
{
    BOOL bOk = pLog->Open("bool") ? 1 : 0;
    pLog->Release();
    return bOk;
}
