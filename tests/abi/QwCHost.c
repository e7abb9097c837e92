/* A host written in C: loads the library by name, finds CreateLogObject and
 * drives every operation through the hand-laid table (QwDrive.c). Prints
 * "ok <step>" or "bad <step>: got N, want M" per step and exits 0 only when
 * every step gave what it must (every TRUE exactly 1).
 * Usage: qw_c_host [seconds to hold the console before switching it off [detach]]
 * "detach" first leaves any console the program was started with, as a windowed
 * program has none, so the console the library then allocates is its own window. */
#define _POSIX_C_SOURCE 200809L
#include "QwLogTable.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#if defined(_WIN32)
#include <windows.h>

/* CreateLogObject of Quillwork.dll (the program's folder comes first in the search). */
static PFN_QW_CREATE LoadCreate(void)
{
    HMODULE hLib = LoadLibraryA("Quillwork.dll");
    return hLib == NULL ? NULL : (PFN_QW_CREATE)(void*)GetProcAddress(hLib, "CreateLogObject");
}

static void Hold(unsigned int nSeconds) { Sleep(nSeconds * 1000u); }

static void DetachConsole(void) { FreeConsole(); }
#else
#include <dlfcn.h>
#include <limits.h>
#include <string.h>
#include <unistd.h>

/* CreateLogObject of libquillwork.so in the program's folder. */
static PFN_QW_CREATE LoadCreate(void)
{
    char szPath[PATH_MAX + 32] = { 0 };
    ssize_t nLen = readlink("/proc/self/exe", szPath, PATH_MAX);
    char* pSep = nLen > 0 ? strrchr(szPath, '/') : NULL;
    if (pSep == NULL)
        return NULL;
    strcpy(pSep + 1, "libquillwork.so");
    void* hLib = dlopen(szPath, RTLD_NOW);
    return hLib == NULL ? NULL : (PFN_QW_CREATE)dlsym(hLib, "CreateLogObject");
}

static void Hold(unsigned int nSeconds) { sleep(nSeconds); }

static void DetachConsole(void) {}
#endif

int main(int argc, char** argv)
{
    QwStep aSteps[QW_MAX_STEPS];
    if (argc > 2 && strcmp(argv[2], "detach") == 0)
        DetachConsole();
    PFN_QW_CREATE pfnCreate = LoadCreate();
    if (pfnCreate == NULL) {
        printf("bad load: no CreateLogObject\n");
        return 2;
    }
    int nCount = QwDrive(pfnCreate, Hold, argc > 1 ? (unsigned int)atoi(argv[1]) : 0u, aSteps);
    int nBad = 0;
    for (int i = 0; i < nCount; ++i) {
        if (aSteps[i].nGot == aSteps[i].nWant) {
            printf("ok %s\n", aSteps[i].pszWhat);
        } else {
            printf("bad %s: got %ld, want %ld\n", aSteps[i].pszWhat, aSteps[i].nGot, aSteps[i].nWant);
            ++nBad;
        }
    }
    fflush(stdout);
    return nBad == 0 ? 0 : 1;
}
