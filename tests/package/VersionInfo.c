/* Prints the version resource of a module as Windows reads it, one "key=value" a line:
 * the fixed file and product versions, the file type, and the strings of the first
 * translation. Exit code 1 when the module has no version resource. */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

static const char* const s_apszKeys[] = {
    "FileDescription", "FileVersion", "ProductName", "ProductVersion",
    "LegalCopyright", "OriginalFilename", "CompanyName"
};

/* Prints one string value of the translation given as "llllcccc"; nothing when missing. */
static void PrintString(void* pInfo, const char* pszTrans, const char* pszKey)
{
    char szPath[128];
    char* pszValue = NULL;
    UINT nLen = 0;
    snprintf(szPath, sizeof(szPath), "\\StringFileInfo\\%s\\%s", pszTrans, pszKey);
    if (VerQueryValueA(pInfo, szPath, (void**)&pszValue, &nLen) && nLen > 0)
        printf("%s=%s\n", pszKey, pszValue);
}

int main(int argc, char** argv)
{
    DWORD dwHandle = 0, dwSize;
    void* pInfo;
    VS_FIXEDFILEINFO* pFixed = NULL;
    WORD* pwTrans = NULL;
    UINT nLen = 0;
    char szTrans[16];
    size_t i;
    if (argc != 2)
        return 2;
    dwSize = GetFileVersionInfoSizeA(argv[1], &dwHandle);
    if (dwSize == 0)
        return 1;
    pInfo = malloc(dwSize);
    if (pInfo == NULL || !GetFileVersionInfoA(argv[1], 0, dwSize, pInfo))
        return 1;
    if (VerQueryValueA(pInfo, "\\", (void**)&pFixed, &nLen) && nLen >= sizeof(*pFixed)) {
        printf("fixed.file=%u.%u.%u.%u\n", HIWORD(pFixed->dwFileVersionMS), LOWORD(pFixed->dwFileVersionMS),
               HIWORD(pFixed->dwFileVersionLS), LOWORD(pFixed->dwFileVersionLS));
        printf("fixed.product=%u.%u.%u.%u\n", HIWORD(pFixed->dwProductVersionMS),
               LOWORD(pFixed->dwProductVersionMS), HIWORD(pFixed->dwProductVersionLS),
               LOWORD(pFixed->dwProductVersionLS));
        printf("fixed.type=%s\n", pFixed->dwFileType == VFT_DLL ? "dll" : "other");
    }
    if (VerQueryValueA(pInfo, "\\VarFileInfo\\Translation", (void**)&pwTrans, &nLen) && nLen >= 4) {
        snprintf(szTrans, sizeof(szTrans), "%04x%04x", pwTrans[0], pwTrans[1]);
        for (i = 0; i < sizeof(s_apszKeys) / sizeof(s_apszKeys[0]); ++i)
            PrintString(pInfo, szTrans, s_apszKeys[i]);
    }
    free(pInfo);
    return 0;
}
