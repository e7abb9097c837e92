// What a C++ host compiled against the public header calls: each operation once,
// in slot order, through the interface. The layout check compiles it for MSVC
// targets and reads the slot index and calling convention of every call.
#include "Quillwork.h"

void DriveThroughInterface(ILogObject* pLog, const unsigned char* pData)
{
    pLog->Open("x");
    pLog->Close();
    pLog->ShowConsole(1);
    pLog->Release();
    pLog->WriteLog("%d", 1);
    pLog->WriteSilent("%d", 1);
    pLog->WriteHex(pData, 4, 1, 1);
}
