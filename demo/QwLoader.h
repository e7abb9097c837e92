// Loads the Quillwork library that sits beside the running program and finds
// CreateLogObject in it, as a host does at run time.
#ifndef QUILLWORK_QWLOADER_H
#define QUILLWORK_QWLOADER_H

#include "Quillwork.h"

#include <string>

#if defined(_WIN32)
#include <windows.h>

// The folder of the running program, without a trailing separator.
inline std::string QwHostFolder()
{
    char szPath[MAX_PATH] = { 0 };
    GetModuleFileNameA(NULL, szPath, MAX_PATH);
    std::string strPath(szPath);
    return strPath.substr(0, strPath.find_last_of('\\'));
}

inline const char* QwLibraryName() { return "Quillwork.dll"; }

// CreateLogObject of the library beside the program, or NULL.
inline PFN_CREATELOGOBJECT QwLoadFactory()
{
    HMODULE hLib = LoadLibraryA((QwHostFolder() + "\\" + QwLibraryName()).c_str());
    return hLib == NULL ? NULL : (PFN_CREATELOGOBJECT)(void*)GetProcAddress(hLib, "CreateLogObject");
}

inline char QwSeparator() { return '\\'; }
#else
#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

inline std::string QwHostFolder()
{
    char szPath[PATH_MAX] = { 0 };
    ssize_t n = readlink("/proc/self/exe", szPath, sizeof(szPath) - 1);
    std::string strPath(szPath, n > 0 ? (size_t)n : 0);
    return strPath.substr(0, strPath.find_last_of('/'));
}

inline const char* QwLibraryName() { return "libquillwork.so"; }

inline PFN_CREATELOGOBJECT QwLoadFactory()
{
    void* hLib = dlopen((QwHostFolder() + "/" + QwLibraryName()).c_str(), RTLD_NOW);
    return hLib == NULL ? NULL : (PFN_CREATELOGOBJECT)dlsym(hLib, "CreateLogObject");
}

inline char QwSeparator() { return '/'; }
#endif

#endif
