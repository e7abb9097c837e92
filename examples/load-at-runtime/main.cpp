// A host that loads Quillwork at run time: it finds CreateLogObject by name and
// goes on without logging when the library is missing.
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

int main()
{
    PFN_CREATELOGOBJECT pfnCreate = LoadQuillwork();
    ILogObject* pLog = pfnCreate == NULL ? NULL : pfnCreate(0);
    if (pLog == NULL) {
        fprintf(stderr, "Quillwork is not available; running without a log\n");
        return 1;
    }
    if (pLog->Open("Runtime")) {
        const unsigned char abRequest[4] = { 0xA5, 0x01, 0x00, 0xFF };
        pLog->WriteLog("runtime host started, library loaded by name");
        pLog->WriteHex(abRequest, sizeof(abRequest), 1, 0);  // "-->": bytes that went out, in decimal
        pLog->Close();
    }
    pLog->Release();  // never delete the object: Release frees it inside the library
    printf("log written below the Log folder beside the program\n");
    return 0;
}
