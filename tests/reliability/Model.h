// An independent model of the small part of the format language the fuzzer
// draws from. Written from the C rules, not from the library's code, so the
// suites can compare the two. (The dump's model is DumpEntry of QwLogText.h.)
#ifndef QW_REL_MODEL_H
#define QW_REL_MODEL_H

#include <stddef.h>

#include <string>
#include <vector>

namespace qwrel {

// Formats pszFormat for the conversions %%, and %d %i %u %x %X with the flags
// '-' and '0', a width and a precision, taking values from args in order (0
// once they run out). The result is cut to nLimit bytes. FALSE for anything
// outside that language.
bool ModelFormat(const std::string& strFormat, const std::vector<int>& args, size_t nLimit, std::string& strOut);

} // namespace qwrel

#endif
