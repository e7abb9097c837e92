// A host that loads Quillwork at run time: it finds CreateLogObject by name and
// goes on without logging (and exits with 0) when the library is missing.
// The log goes to <program folder>/Log/YYYY-MM-DD/HHMMSS_Runtime.log.
#include "Quillwork.h"

#include <stdio.h>

#if defined(_WIN32)
#include <windows.h>

// CreateLogObject of Quillwork.dll, or NULL when the library cannot be loaded.
static PFN_CREATELOGOBJECT LoadQuillwork()
{
    HMODULE hLib = LoadLibraryA("Quillwork.dll");
    return hLib == NULL ? NULL : (PFN_CREATELOGOBJECT)(void*)GetProcAddress(hLib, "CreateLogObject");
}
#else
#include <dlfcn.h>

// CreateLogObject of libquillwork.so.1, or NULL when the library cannot be loaded.
static PFN_CREATELOGOBJECT LoadQuillwork()
{
    void* hLib = dlopen("libquillwork.so.1", RTLD_NOW);
    return hLib == NULL ? NULL : (PFN_CREATELOGOBJECT)dlsym(hLib, "CreateLogObject");
}
#endif

// Writes the host's entries when there is a log object; without one the host does the
// same work and writes nothing.
static void DoWork(ILogObject* pLog)
{
    const unsigned char abRequest[4] = { 0xA5, 0x01, 0x00, 0xFF };
    if (pLog == NULL)
        return;
    pLog->WriteLog("runtime host started, library loaded by name");
    pLog->WriteHex(abRequest, sizeof(abRequest), 1, 0);  // "-->": bytes that went out, in decimal
}

int main()
{
    PFN_CREATELOGOBJECT pfnCreate = LoadQuillwork();
    ILogObject* pLog = pfnCreate == NULL ? NULL : pfnCreate(0);
    bool bOpen = pLog != NULL && pLog->Open("Runtime");
    if (!bOpen)
        fprintf(stderr, "Quillwork is not available or cannot open its file; running without a log\n");
    DoWork(bOpen ? pLog : NULL);
    if (pLog != NULL) {
        pLog->Close();
        pLog->Release();  // never delete the object: Release frees it inside the library
    }
    if (bOpen)
        printf("log written below the Log folder beside the program\n");
    return 0;  // the host's work is done, with or without a log
}
