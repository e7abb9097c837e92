// --grep's bounds, run on the main thread (1 MiB of stack on Windows, as qwlog.exe has):
// chains of 10,000 to 200,000 repeats, deep groups and patterns that lay out many parts are
// refused with their reason, never overflow the stack or hang; patterns just inside the
// bounds still compile and match. Patterns this long do not fit on a command line (128 KiB
// on Linux, 32 KiB on Windows), so the Matcher is driven directly.
// Prints PASS/FAIL lines; exit status 1 when any failed.
#include "Matcher.h"

#include <cstdio>
#include <string>

namespace {

int s_nFailed = 0;

void Report(bool bOk, const std::string& strWhat)
{
    std::printf("%s matcher: %s\n", bOk ? "PASS" : "FAIL", strWhat.c_str());
    s_nFailed += bOk ? 0 : 1;
}

// strPattern is refused, its reason holding pszReason.
void ExpectRefused(const std::string& strLabel, const std::string& strPattern, const char* pszReason)
{
    qwlog::Matcher matcher;
    std::string strError;
    bool bCompiled = matcher.Compile(strPattern, strError);
    Report(!bCompiled && strError.find(pszReason) != std::string::npos,
           strLabel + " refused (" + (bCompiled ? "compiled" : strError) + ")");
}

// strPattern compiles and matches strYes somewhere, strNo nowhere.
void ExpectMatches(const std::string& strLabel, const std::string& strPattern, const std::string& strYes, const std::string& strNo)
{
    qwlog::Matcher matcher;
    std::string strError;
    bool bCompiled = matcher.Compile(strPattern, strError);
    bool bOk = bCompiled && matcher.Search(strYes) && !matcher.Search(strNo);
    Report(bOk, strLabel + " compiles and matches" + (bCompiled ? "" : " (refused: " + strError + ")"));
}

std::string Repeat(const std::string& str, size_t n)
{
    std::string strAll;
    strAll.reserve(str.size() * n);
    for (size_t i = 0; i < n; ++i)
        strAll += str;
    return strAll;
}

} // namespace

int main()
{
    const char* const pszDeep = "nested too deeply";
    const size_t anCounts[] = { 10000, 15000, 60000, 130000, 200000 };
    for (size_t nCount : anCounts) {
        for (const char* pszOp : { "+", "*", "?" }) {
            std::string strOps = Repeat(pszOp, nCount);
            ExpectRefused("a" + strOps.substr(0, 3) + "... (" + std::to_string(nCount) + " of " + pszOp + ")", "a" + strOps, pszDeep);
        }
        ExpectRefused("(a)+? chain of " + std::to_string(nCount), "(a)" + Repeat("+?", nCount / 2), pszDeep);
        ExpectRefused("a{1}{1}... chain of " + std::to_string(nCount), "a" + Repeat("{1}", nCount / 3), pszDeep);
        ExpectRefused(std::to_string(nCount) + " groups in each other", Repeat("(", nCount) + "a" + Repeat(")", nCount), pszDeep);
        ExpectRefused(std::to_string(nCount) + " (?: groups with a repeat", Repeat("(?:", nCount) + "a" + Repeat(")*", nCount), pszDeep);
    }
    // Copies of copies: a million parts laid out and no instruction, or too many instructions.
    ExpectRefused("(((){1000}){1000}){1000}", "(((){1000}){1000}){1000}", "parts to lay out");
    ExpectRefused("((a{0}){1000}){1000}{1000}", "((a{0}){1000}){1000}{1000}", "parts to lay out");
    ExpectRefused("(a{1000}){1000}", "(a{1000}){1000}", "steps");

    // Inside the bounds: long chains that stay under 1,000 levels, the deepest groups, long flat patterns.
    ExpectMatches("a followed by 900 '*', then b", "a" + Repeat("*", 900) + "b", "xaaab", "xyz");
    ExpectRefused("a followed by 900 '+' (each doubles the program)", "a" + Repeat("+", 900), "steps");
    ExpectMatches("b, then a with 400 '*?'", "ba" + Repeat("*?", 400) + "c", "bc", "cb");
    ExpectMatches("200 groups in each other", Repeat("(", 200) + "ab" + Repeat(")", 200), "xaby", "ba");
    ExpectMatches("200 groups each with '*', then c", Repeat("(", 200) + "ab" + Repeat(")*", 200) + "c", "ababc", "a b");
    ExpectMatches("5,000 literals in a row", Repeat("x", 5000), Repeat("x", 5001), Repeat("x", 4999));
    ExpectMatches("5,000 choices", Repeat("q|", 4999) + "z", "z", "y");
    return s_nFailed == 0 ? 0 : 1;
}
