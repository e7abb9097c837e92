// The regular expressions of --grep: a Thompson NFA run over the text's code points, so a
// search takes time linear in the text (times the pattern's size) and never recurses.
//
// The language is POSIX ERE with a few common escapes: literals, '.', bracket expressions
// ([a-z], [^...], [[:digit:]] and the other POSIX classes), '^' and '$' (start and end of the
// whole text), groups "(...)" and "(?:...)", '|', and the repeats '*', '+', '?', "{n}", "{n,}",
// "{n,m}" (at most 1000; a trailing '?' is accepted and changes nothing for a yes/no search).
// '\' before a punctuation character makes it literal; \d \D \w \W \s \S are the usual
// classes and \t \n \r the control characters. '.' matches any character but CR and LF.
// Back-references, look-around and other escapes of letters are refused, and so is a pattern
// past a bound (kMax*) before any work on it can go deeper or longer than that bound: so no
// pattern overflows the stack (the 1 MiB of qwlog.exe's main thread included) or hangs.
#ifndef QWLOG_MATCHER_H
#define QWLOG_MATCHER_H

#include <cstdint>
#include <string>
#include <vector>

namespace qwlog {

class Matcher
{
public:
    static const size_t kMaxProgram = 20000;  // instructions a pattern may compile to
    static const int kMaxRepeat = 1000;        // largest count in "{n,m}"
    static const int kMaxDepth = 200;          // deepest nesting of groups
    static const int kMaxHeight = 1000;        // groups, choices and repeats one inside another
    static const size_t kMaxEmitted = 1000000; // tree nodes laid out, copies of repeats included

    // Compiles strPattern (UTF-8); false with strError set when it is refused.
    bool Compile(const std::string& strPattern, std::string& strError);

    // True when the pattern matches somewhere in strText (UTF-8; other bytes stand for themselves).
    bool Search(const std::string& strText) const;

    struct Range
    {
        uint32_t nLow, nHigh;
    };
    struct CharClass
    {
        std::vector<Range> aRanges;
        bool bNegated = false;
        bool Has(uint32_t c) const;
    };
    enum class Op : uint8_t { Char, Any, Class, Split, Jump, Match, Bol, Eol };
    struct Inst
    {
        Op op;
        uint32_t nChar;  // Char: the code point; Class: the class's index
        int nX, nY;      // Split: both targets; Jump: nX
    };

private:
    void AddThread(std::vector<int>& aList, int nPc, size_t nPos, size_t nEnd, uint32_t nGen,
                   std::vector<uint32_t>& anMark, std::vector<int>& anStack) const;

    std::vector<Inst> m_aProgram;
    std::vector<CharClass> m_aClasses;
};

}  // namespace qwlog

#endif
