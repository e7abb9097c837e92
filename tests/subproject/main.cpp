// Links Quillwork::Quillwork, writes one entry, prints the header's version.
#include "Quillwork.h"

#include <stdio.h>

int main()
{
    ILogObject* pLog = CreateLogObject(0);
    if (pLog == NULL || !pLog->Open("Consumer"))
        return 1;
    pLog->WriteLog("consumer of Quillwork %d.%d.%d", QUILLWORK_VERSION_MAJOR, QUILLWORK_VERSION_MINOR,
                   QUILLWORK_VERSION_PATCH);
    pLog->Close();
    pLog->Release();
    printf("%d.%d.%d\n", QUILLWORK_VERSION_MAJOR, QUILLWORK_VERSION_MINOR, QUILLWORK_VERSION_PATCH);
    return 0;
}
