// The reliability suites' scaffolding on top of the shared one: sizes from the
// environment, figures, and the numbered entries that the thread, crash and
// fault suites write and read back.
#ifndef QW_REL_SUPPORT_H
#define QW_REL_SUPPORT_H

#include "Framework.h"
#include "Os.h"
#include "Quillwork.h"
#include "QwTestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qwrel {

using namespace qwtest;

// nDefault, or nFull when QW_REL_FULL=1, or the number in pszName when that is set.
long SizeFromEnv(const char* pszName, long nDefault, long nFull);
// Prints "FIGURE <text>" on its own line of standard output.
void Figure(const std::string& strText);

// The shared fixture on the real clock, as the suites' writers meet it.
class RelTest : public LogTest
{
protected:
    void SetUp() override;
};

// The numbered entries: even numbers are entries "t<t> n<n>", odd ones dumps of
// 20 bytes that carry t and n, in either direction and radix by the number.
void WriteNumbered(ILogObject* pLog, int nThread, int nNumber);
// The whole text WriteNumbered gives for the thread and number at a stamp.
std::string NumberedText(int nThread, int nNumber, const std::string& strStamp);
// Reads one entry back: TRUE when it is exactly what WriteNumbered wrote for
// the thread and number it names; gives those and its stamp.
bool ReadNumbered(const std::string& strEntry, int& nThread, int& nNumber, std::string& strStamp);

} // namespace qwrel

#endif
