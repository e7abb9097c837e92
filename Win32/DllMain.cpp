// Loading the library creates no log object and tracks none.
#include "../LogClass/Platform.h"

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID)
{
    return TRUE;
}
