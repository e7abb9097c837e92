// Quillwork::Headers gives the header and no library: this program links nothing
// of Quillwork, it only names the factory's type.
#include "Quillwork.h"

#include <stdio.h>

int main()
{
    PFN_CREATELOGOBJECT pfnCreate = 0;
    printf("%d %d\n", QUILLWORK_VERSION_MAJOR, pfnCreate == 0);
    return 0;
}
