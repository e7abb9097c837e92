// The POSIX side of the test scaffolding: time zone and limits.
#include "Support.h"

#include <stdlib.h>
#include <string.h>
#include <time.h>

namespace qwtest {

const size_t MESSAGE_LIMIT = 2047;  // the message buffer less its terminator
const std::string SEP = "/";

void UseUtc()
{
    setenv("TZ", "UTC", 1);
    tzset();
}


} // namespace qwtest
