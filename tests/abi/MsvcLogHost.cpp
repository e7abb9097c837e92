// A host as MSVC would build it, with no C run-time: clang in MSVC mode compiles it,
// lld-link links it against the zip's Quillwork.lib with HostMain as its entry point.
// It calls every slot once through ILogObject and ends with an exit code whose bits
// name the calls that did not return exactly what they must (0: every one did).
#include "Quillwork.h"

extern "C" __declspec(dllimport) void __stdcall ExitProcess(unsigned int uExitCode);

namespace {

// Sets bit nBit of *pnBad unless bGot is exactly nWant.
void Expect(unsigned int* pnBad, unsigned int nBit, QWBOOL bGot, QWBOOL bWant)
{
    if (bGot != bWant)
        *pnBad |= 1u << nBit;
}

// Opens "Msvc", writes two entries and two dumps, leaves a silent one out, closes.
unsigned int DriveLog(ILogObject* pLog)
{
    unsigned char abData[20];
    for (unsigned int i = 0; i < sizeof(abData); ++i)
        abData[i] = (unsigned char)(i * 13);
    unsigned int nBad = 0;
    Expect(&nBad, 1, pLog->Open("Msvc"), 1);
    Expect(&nBad, 2, pLog->ShowConsole(0), 1);
    Expect(&nBad, 3, pLog->WriteLog("%d items, %s, %x, %c, [%5u]", 3, "msvc host", 0xBEEFu, 'Q', 42u), 1);
    Expect(&nBad, 4, pLog->WriteSilent("not recorded %d", 1), 1);
    Expect(&nBad, 5, pLog->WriteHex(abData, sizeof(abData), 1, 1), 1);
    Expect(&nBad, 6, pLog->WriteHex(abData, 5, 0, 0), 1);
    Expect(&nBad, 7, pLog->WriteLog("%s", "last entry"), 1);
    Expect(&nBad, 8, pLog->Close(), 1);
    return nBad;
}

} // namespace

extern "C" void __cdecl HostMain()
{
    ILogObject* pLog = CreateLogObject(0);
    unsigned int nBad = 1;
    if (pLog != 0) {
        nBad = DriveLog(pLog);
        pLog->Release();
    }
    Expect(&nBad, 9, CreateLogObject(1) == 0, 1);
    ExitProcess(nBad);
}
