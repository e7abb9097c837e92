// A host that links Quillwork: CreateLogObject is resolved when the program
// starts (through Quillwork.lib on Windows, libquillwork.so on Linux).
// The log goes to <program folder>/Log/YYYY-MM-DD/HHMMSS_Linked.log.
#include "Quillwork.h"

#include <stdio.h>

int main(int argc, char**)
{
    ILogObject* pLog = CreateLogObject(0);
    if (pLog == NULL) {
        fprintf(stderr, "no log object\n");
        return 1;
    }
    if (!pLog->Open("Linked")) {
        fprintf(stderr, "cannot open the log file\n");
        pLog->Release();
        return 1;
    }
    const unsigned char abReply[6] = { 0x02, 0x10, 0x41, 0x42, 0x43, 0x03 };
    pLog->WriteLog("linked host started with %d argument(s)", argc - 1);
    pLog->WriteHex(abReply, sizeof(abReply), 0, 1);  // "<--": bytes that came in, in hex
    pLog->Close();
    pLog->Release();  // never delete the object: Release frees it inside the library
    printf("log written below the Log folder beside the program\n");
    return 0;
}
