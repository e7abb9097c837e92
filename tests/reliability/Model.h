// An independent model of the log's text: dumps and the small part
// of the format language the fuzzer draws from. Written from the layout rules,
// not from the library's code, so the suites can compare the two.
#ifndef QW_REL_MODEL_H
#define QW_REL_MODEL_H

#include <stddef.h>

#include <string>
#include <vector>

namespace qwrel {

// One dump entry of nSize bytes: the stamp with its arrow, a line per 16
// bytes (at least one), labels and values in hex or decimal, every value, ';'
// after a byte text of 48 characters or more, the indent of 24 spaces, the
// closing empty line.
std::string ModelDump(const std::string& strStamp, const unsigned char* pData, size_t nSize, bool bOut, bool bHex);

// Formats pszFormat for the conversions %%, and %d %i %u %x %X with the flags
// '-' and '0', a width and a precision, taking values from args in order (0
// once they run out). The result is cut to nLimit bytes. FALSE for anything
// outside that language.
bool ModelFormat(const std::string& strFormat, const std::vector<int>& args, size_t nLimit, std::string& strOut);

} // namespace qwrel

#endif
