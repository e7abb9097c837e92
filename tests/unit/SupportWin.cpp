// The Windows side of the test scaffolding: time zone and limits.
#include "Support.h"

#include <stdlib.h>
#include <string.h>
#include <time.h>

namespace qwtest {

const size_t MESSAGE_LIMIT = 1023;  // wvsprintfA's own output limit
const std::string SEP = "\\";

void UseUtc()
{
    _putenv("TZ=UTC0");
    _tzset();
}


} // namespace qwtest
