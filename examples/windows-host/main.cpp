// A Windows host built the way a Visual Studio user builds one: the CMake project beside
// this file against the unpacked zip (find_package), Quillwork.dll and Quillwork.ini
// copied beside the .exe after each build. <windows.h> comes first, as in most Windows
// programs; the header keeps the system's BOOL.
//
// It prints the folder its log went to: Log\ beside the .exe (in Visual Studio,
// $(OutDir)), whatever the working folder the debugger starts it in.
#include <windows.h>

#include "Quillwork.h"

#include <stdio.h>
#include <string.h>

int main()
{
    char szExe[MAX_PATH];
    DWORD nLength = GetModuleFileNameA(NULL, szExe, MAX_PATH);
    char* pSlash = strrchr(szExe, '\\');
    if (nLength == 0 || nLength >= MAX_PATH || pSlash == NULL)
        return 1;
    *pSlash = '\0';  // the program's folder

    ILogObject* pLog = CreateLogObject(0);
    if (pLog == NULL)
        return 1;
    if (!pLog->Open("WindowsHost")) {
        fprintf(stderr, "cannot open the log below %s\\Log\n", szExe);
        pLog->Release();
        return 1;
    }
    const unsigned char abFrame[5] = { 0x02, 0x57, 0x49, 0x4E, 0x03 };  // STX "WIN" ETX
    pLog->WriteLog("windows host, process %lu, Quillwork %d.%d.%d", (unsigned long)GetCurrentProcessId(),
                   QUILLWORK_VERSION_MAJOR, QUILLWORK_VERSION_MINOR, QUILLWORK_VERSION_PATCH);
    pLog->WriteHex(abFrame, sizeof(abFrame), 1, 1);  // "-->": a frame sent, in hex
    pLog->Close();
    pLog->Release();
    printf("log written below %s\\Log\n", szExe);
    return 0;
}
