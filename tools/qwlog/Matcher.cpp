#include "Matcher.h"

#include <cstring>

namespace qwlog {

namespace {

// Reads one UTF-8 character of s at nPos and moves nPos past it; a byte that does not begin
// a well-formed character stands for itself.
uint32_t NextChar(const std::string& s, size_t& nPos)
{
    unsigned char b = (unsigned char)s[nPos];
    size_t nLen = b < 0x80 ? 1 : b >= 0xF0 && b < 0xF5 ? 4 : b >= 0xE0 ? 3 : b >= 0xC2 ? 2 : 0;
    if (nLen <= 1 || nPos + nLen > s.size()) {
        ++nPos;
        return b;
    }
    uint32_t c = b & (0x7F >> nLen);
    for (size_t i = 1; i < nLen; ++i) {
        unsigned char t = (unsigned char)s[nPos + i];
        if ((t & 0xC0) != 0x80) {
            ++nPos;
            return b;
        }
        c = (c << 6) | (t & 0x3F);
    }
    nPos += nLen;
    return c;
}

typedef Matcher::CharClass CharClass;

// The POSIX class called strName ("digit", "alpha", ...) added to cls; false when unknown.
bool AddPosixClass(const std::string& strName, CharClass& cls)
{
    static const struct
    {
        const char* pszName;
        const char* pszRanges;  // pairs of low and high characters
    } kClasses[] = {
        {"digit", "09"}, {"alpha", "azAZ"}, {"alnum", "azAZ09"}, {"upper", "AZ"}, {"lower", "az"},
        {"space", "\t\r  "}, {"blank", "\t\t  "}, {"xdigit", "09afAF"}, {"cntrl", "\x01\x1f\x7f\x7f"},
        {"punct", "!/:@[`{~"}, {"print", " ~"}, {"graph", "!~"}, {"word", "azAZ09__"},
    };
    for (const auto& entry : kClasses) {
        if (strName != entry.pszName)
            continue;
        for (const char* p = entry.pszRanges; *p != '\0'; p += 2)
            cls.aRanges.push_back({(uint32_t)(unsigned char)p[0], (uint32_t)(unsigned char)p[1]});
        if (strName == "cntrl")
            cls.aRanges.push_back({0, 0});
        return true;
    }
    return false;
}

// The class of a class escape (\d \w \s, capital for the complement); false for other letters.
bool EscapeClass(char c, CharClass& cls)
{
    const char* pszName = c == 'd' || c == 'D' ? "digit" : c == 'w' || c == 'W' ? "word"
                        : c == 's' || c == 'S' ? "space" : nullptr;
    if (pszName == nullptr)
        return false;
    AddPosixClass(pszName, cls);
    cls.bNegated = c >= 'A' && c <= 'Z';
    return true;
}

// The syntax tree of a pattern, its nodes kept in one vector and linked by index.
struct Node
{
    enum Type { Empty, Char, Any, Class, Bol, Eol, Cat, Alt, Repeat } type;
    uint32_t nChar = 0;  // Char: code point; Class: index
    int nMin = 0, nMax = 0;  // Repeat: nMax -1 for no limit
    int nHeight = 1;         // levels of the tree from this node down, itself included
    std::vector<int> aKids;
};

// Reads a pattern into a tree. Recursion follows the nesting of groups, which is bounded; a
// chain of repeats is read in a loop. The tree's height (groups, choices and repeats one inside
// another) is bounded as it grows, so the Emitter's recursion is too.
class PatternReader
{
public:
    PatternReader(const std::string& s, std::vector<Node>& aNodes, std::vector<CharClass>& aClasses)
        : m_s(s), m_aNodes(aNodes), m_aClasses(aClasses)
    {
    }

    // The whole pattern's root node; -1 with m_strError set when it is refused.
    int ReadAll()
    {
        int nRoot = ReadAlt(0);
        if (nRoot >= 0 && m_nPos < m_s.size())
            return Fail("unmatched ')'");
        return nRoot;
    }

    std::string m_strError;

private:
    int Fail(const std::string& strWhat)
    {
        if (m_strError.empty())
            m_strError = strWhat;
        return -1;
    }

    int Add(Node::Type type, uint32_t nChar = 0)
    {
        Node node;
        node.type = type;
        node.nChar = nChar;
        m_aNodes.push_back(node);
        return (int)m_aNodes.size() - 1;
    }

    bool At(char c) const { return m_nPos < m_s.size() && m_s[m_nPos] == c; }

    // Makes nKid a kid of nParent; false (m_strError set) when the tree grows past its height.
    bool Adopt(int nParent, int nKid)
    {
        m_aNodes[nParent].aKids.push_back(nKid);
        int nHeight = m_aNodes[nKid].nHeight + 1;
        if (nHeight > m_aNodes[nParent].nHeight)
            m_aNodes[nParent].nHeight = nHeight;
        if (nHeight <= Matcher::kMaxHeight)
            return true;
        Fail("repeats and groups nested too deeply (more than " + std::to_string(Matcher::kMaxHeight) + " levels)");
        return false;
    }

    int ReadAlt(int nDepth)
    {
        if (nDepth > Matcher::kMaxDepth)
            return Fail("groups nested too deeply");
        int nAlt = Add(Node::Alt);
        for (;;) {
            int nCat = ReadCat(nDepth);
            if (nCat < 0 || !Adopt(nAlt, nCat))
                return -1;
            if (!At('|'))
                return nAlt;
            ++m_nPos;
        }
    }

    int ReadCat(int nDepth)
    {
        int nCat = Add(Node::Cat);
        while (m_nPos < m_s.size() && !At('|') && !At(')')) {
            int nAtom = ReadAtom(nDepth);
            if (nAtom < 0)
                return -1;
            int nRepeat = 1;
            while (nRepeat == 1)
                nRepeat = ReadRepeat(nAtom);
            if (nRepeat < 0 || !Adopt(nCat, nAtom))
                return -1;
        }
        return nCat;
    }

    // Wraps nAtom in the repeat that follows it, if any: 1 when it did (another may follow),
    // 0 when no repeat follows, -1 on error.
    int ReadRepeat(int& nAtom)
    {
        int nMin = 0, nMax = -1;
        if (At('*')) {
            ++m_nPos;
        } else if (At('+')) {
            nMin = 1, ++m_nPos;
        } else if (At('?')) {
            nMax = 1, ++m_nPos;
        } else if (!At('{') || !ReadCount(nMin, nMax)) {
            return 0;
        }
        if (m_strError.size())
            return -1;
        if (At('?'))
            ++m_nPos;  // a lazy repeat matches the same texts
        int nRepeat = Add(Node::Repeat);
        m_aNodes[nRepeat].nMin = nMin;
        m_aNodes[nRepeat].nMax = nMax;
        if (!Adopt(nRepeat, nAtom))
            return -1;
        nAtom = nRepeat;
        return 1;
    }

    // Reads "{n}", "{n,}" or "{n,m}" at m_nPos; false (m_nPos unchanged) when '{' starts no
    // count, which makes it a literal; an out-of-range count sets m_strError.
    bool ReadCount(int& nMin, int& nMax)
    {
        size_t nPos = m_nPos + 1;
        long nLow = ReadNumber(nPos), nHigh = nLow;
        if (nLow < 0)
            return false;
        if (nPos < m_s.size() && m_s[nPos] == ',') {
            ++nPos;
            nHigh = nPos < m_s.size() && m_s[nPos] == '}' ? -1 : ReadNumber(nPos);
            if (nHigh == -2 || (nHigh < 0 && !(nPos < m_s.size() && m_s[nPos] == '}')))
                return false;
        }
        if (nPos >= m_s.size() || m_s[nPos] != '}')
            return false;
        m_nPos = nPos + 1;
        if (nLow > Matcher::kMaxRepeat || nHigh > Matcher::kMaxRepeat)
            Fail("a repeat count above " + std::to_string(Matcher::kMaxRepeat));
        else if (nHigh >= 0 && nHigh < nLow)
            Fail("a repeat {n,m} with m below n");
        nMin = (int)nLow;
        nMax = (int)nHigh;
        return true;
    }

    // Digits at nPos as a number (capped); -2 when there are none.
    long ReadNumber(size_t& nPos) const
    {
        long n = -2;
        while (nPos < m_s.size() && m_s[nPos] >= '0' && m_s[nPos] <= '9') {
            n = (n < 0 ? 0 : n) * 10 + (m_s[nPos] - '0');
            if (n > 100000)
                n = 100000;
            ++nPos;
        }
        return n;
    }

    int ReadAtom(int nDepth)
    {
        char c = m_s[m_nPos];
        if (c == '*' || c == '+' || c == '?')
            return Fail(std::string("nothing to repeat before '") + c + "'");
        if (c == '(') {
            ++m_nPos;
            if (m_s.compare(m_nPos, 2, "?:") == 0)
                m_nPos += 2;
            else if (At('?'))
                return Fail("look-around and other (? groups are not supported");
            int nInner = ReadAlt(nDepth + 1);
            if (nInner < 0)
                return -1;
            if (!At(')'))
                return Fail("'(' without its ')'");
            ++m_nPos;
            return nInner;
        }
        ++m_nPos;
        if (c == '.')
            return Add(Node::Any);
        if (c == '^')
            return Add(Node::Bol);
        if (c == '$')
            return Add(Node::Eol);
        if (c == '[')
            return ReadBracket();
        if (c == '\\')
            return ReadEscape();
        --m_nPos;
        return Add(Node::Char, NextChar(m_s, m_nPos));
    }

    // An escape outside brackets, after its '\'.
    int ReadEscape()
    {
        if (m_nPos >= m_s.size())
            return Fail("'\\' at the end of the pattern");
        char c = m_s[m_nPos];
        CharClass cls;
        if (EscapeClass(c, cls)) {
            ++m_nPos;
            m_aClasses.push_back(cls);
            return Add(Node::Class, (uint32_t)m_aClasses.size() - 1);
        }
        uint32_t nChar = 0;
        if (!EscapedChar(nChar))
            return -1;
        return Add(Node::Char, nChar);
    }

    // The character an escape stands for (\t \n \r or a literal non-letter), after its '\'.
    bool EscapedChar(uint32_t& nChar)
    {
        char c = m_s[m_nPos];
        if (c == 't' || c == 'n' || c == 'r') {
            ++m_nPos;
            nChar = c == 't' ? '\t' : c == 'n' ? '\n' : '\r';
            return true;
        }
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
            Fail(std::string("the escape \\") + c + " is not supported");
            return false;
        }
        nChar = NextChar(m_s, m_nPos);
        return true;
    }

    // A bracket expression, after its '['.
    int ReadBracket()
    {
        CharClass cls;
        if (At('^')) {
            cls.bNegated = true;
            ++m_nPos;
        }
        bool bFirst = true;
        while (m_nPos < m_s.size() && (bFirst || !At(']'))) {
            bFirst = false;
            uint32_t nLow = 0;
            int nItem = ReadBracketItem(cls, nLow);
            if (nItem < 0)
                return -1;
            if (nItem == 0)
                continue;  // a class: no range can follow it
            uint32_t nHigh = nLow;
            if (At('-') && m_nPos + 1 < m_s.size() && m_s[m_nPos + 1] != ']') {
                ++m_nPos;
                if (ReadBracketItem(cls, nHigh) != 1)
                    return Fail("a range in [ ] must end in a character");
                if (nHigh < nLow)
                    return Fail("a range in [ ] that runs backwards");
            }
            cls.aRanges.push_back({nLow, nHigh});
        }
        if (!At(']'))
            return Fail("'[' without its ']'");
        ++m_nPos;
        m_aClasses.push_back(cls);
        return Add(Node::Class, (uint32_t)m_aClasses.size() - 1);
    }

    // One item of a bracket expression: 1 and its character in nChar, 0 for a class it added
    // to cls ([:name:], \d, \w, \s), -1 on error.
    int ReadBracketItem(CharClass& cls, uint32_t& nChar)
    {
        if (m_s.compare(m_nPos, 2, "[:") == 0) {
            size_t nEnd = m_s.find(":]", m_nPos + 2);
            if (nEnd == std::string::npos)
                return Fail("'[:' without its ':]'");
            CharClass named;
            if (!AddPosixClass(m_s.substr(m_nPos + 2, nEnd - m_nPos - 2), named))
                return Fail("unknown class " + m_s.substr(m_nPos, nEnd + 2 - m_nPos));
            cls.aRanges.insert(cls.aRanges.end(), named.aRanges.begin(), named.aRanges.end());
            m_nPos = nEnd + 2;
            return 0;
        }
        if (!At('\\')) {
            nChar = NextChar(m_s, m_nPos);
            return 1;
        }
        ++m_nPos;
        if (m_nPos >= m_s.size())
            return Fail("'\\' at the end of the pattern");
        CharClass escaped;
        if (EscapeClass(m_s[m_nPos], escaped)) {
            if (escaped.bNegated)
                return Fail(std::string("\\") + m_s[m_nPos] + " is not supported inside [ ]");
            ++m_nPos;
            cls.aRanges.insert(cls.aRanges.end(), escaped.aRanges.begin(), escaped.aRanges.end());
            return 0;
        }
        return EscapedChar(nChar) ? 1 : -1;
    }

    const std::string& m_s;
    size_t m_nPos = 0;
    std::vector<Node>& m_aNodes;
    std::vector<CharClass>& m_aClasses;
};

// Turns a tree into instructions. Recursion follows the tree's height, which the reader bounds;
// the program's size is checked as it grows, and so is the count of nodes laid out (a repeat of
// a repeat of something empty lays out many nodes and no instruction).
class Emitter
{
public:
    Emitter(const std::vector<Node>& aNodes, std::vector<Matcher::Inst>& aProgram)
        : m_aNodes(aNodes), m_aProgram(aProgram)
    {
    }

    // Emits node nNode; false once the program has grown past the limit (m_bTooLong: once
    // the nodes laid out have).
    bool Emit(int nNode)
    {
        if (++m_nEmitted > Matcher::kMaxEmitted) {
            m_bTooLong = true;
            return false;
        }
        const Node& node = m_aNodes[nNode];
        switch (node.type) {
        case Node::Empty: return true;
        case Node::Char: return Put(Matcher::Op::Char, node.nChar) >= 0;
        case Node::Any: return Put(Matcher::Op::Any) >= 0;
        case Node::Class: return Put(Matcher::Op::Class, node.nChar) >= 0;
        case Node::Bol: return Put(Matcher::Op::Bol) >= 0;
        case Node::Eol: return Put(Matcher::Op::Eol) >= 0;
        case Node::Cat:
            for (int nKid : node.aKids) {
                if (!Emit(nKid))
                    return false;
            }
            return true;
        case Node::Alt: return EmitAlt(node);
        case Node::Repeat: return EmitRepeat(node);
        }
        return false;
    }

    int Put(Matcher::Op op, uint32_t nChar = 0, int nX = 0, int nY = 0)
    {
        if (m_aProgram.size() >= Matcher::kMaxProgram)
            return -1;
        m_aProgram.push_back({op, nChar, nX, nY});
        return (int)m_aProgram.size() - 1;
    }

    bool m_bTooLong = false;  // more than kMaxEmitted nodes laid out

private:
    // a|b|c: split to each choice in turn, each choice jumps to the end.
    bool EmitAlt(const Node& node)
    {
        std::vector<int> anJumps;
        for (size_t i = 0; i < node.aKids.size(); ++i) {
            bool bLast = i + 1 == node.aKids.size();
            int nSplit = bLast ? -1 : Put(Matcher::Op::Split);
            if (!bLast && nSplit < 0)
                return false;
            if (!bLast)
                m_aProgram[nSplit].nX = nSplit + 1;
            if (!Emit(node.aKids[i]))
                return false;
            if (bLast)
                break;
            int nJump = Put(Matcher::Op::Jump);
            if (nJump < 0)
                return false;
            anJumps.push_back(nJump);
            m_aProgram[nSplit].nY = nJump + 1;
        }
        for (int nJump : anJumps)
            m_aProgram[nJump].nX = (int)m_aProgram.size();
        return true;
    }

    // x{n,m}: x n times, then m-n optional copies (or a loop when there is no limit).
    bool EmitRepeat(const Node& node)
    {
        int nKid = node.aKids[0];
        for (int i = 0; i < node.nMin; ++i) {
            if (!Emit(nKid))
                return false;
        }
        if (node.nMax < 0) {
            int nSplit = Put(Matcher::Op::Split);
            if (nSplit < 0 || !Emit(nKid) || Put(Matcher::Op::Jump, 0, nSplit) < 0)
                return false;
            m_aProgram[nSplit].nX = nSplit + 1;
            m_aProgram[nSplit].nY = (int)m_aProgram.size();
            return true;
        }
        std::vector<int> anSplits;
        for (int i = node.nMin; i < node.nMax; ++i) {
            int nSplit = Put(Matcher::Op::Split);
            if (nSplit < 0 || !Emit(nKid))
                return false;
            m_aProgram[nSplit].nX = nSplit + 1;
            anSplits.push_back(nSplit);
        }
        for (int nSplit : anSplits)
            m_aProgram[nSplit].nY = (int)m_aProgram.size();
        return true;
    }

    const std::vector<Node>& m_aNodes;
    std::vector<Matcher::Inst>& m_aProgram;
    size_t m_nEmitted = 0;
};

}  // namespace

bool Matcher::CharClass::Has(uint32_t c) const
{
    bool bIn = false;
    for (const Range& range : aRanges) {
        if (c >= range.nLow && c <= range.nHigh) {
            bIn = true;
            break;
        }
    }
    return bIn != bNegated;
}

bool Matcher::Compile(const std::string& strPattern, std::string& strError)
{
    m_aProgram.clear();
    m_aClasses.clear();
    std::vector<Node> aNodes;
    PatternReader reader(strPattern, aNodes, m_aClasses);
    int nRoot = reader.ReadAll();
    if (nRoot < 0) {
        strError = reader.m_strError;
        return false;
    }
    Emitter emitter(aNodes, m_aProgram);
    if (!emitter.Emit(nRoot) || emitter.Put(Op::Match) < 0) {
        strError = emitter.m_bTooLong ? "the pattern is too large (more than " + std::to_string(kMaxEmitted) + " parts to lay out)"
                                      : "the pattern is too large (more than " + std::to_string(kMaxProgram) + " steps)";
        m_aProgram.clear();
        return false;
    }
    return true;
}

// Adds the thread at nPc to aList, following jumps, splits and assertions at text position
// nPos with an explicit stack; anMark keeps a state from being added twice in one step.
// Returns nothing; a Match reached is put in the list like any other state.
void Matcher::AddThread(std::vector<int>& aList, int nPc, size_t nPos, size_t nEnd, uint32_t nGen,
                        std::vector<uint32_t>& anMark, std::vector<int>& anStack) const
{
    anStack.push_back(nPc);
    while (!anStack.empty()) {
        int n = anStack.back();
        anStack.pop_back();
        if (anMark[n] == nGen)
            continue;
        anMark[n] = nGen;
        const Inst& inst = m_aProgram[n];
        switch (inst.op) {
        case Op::Jump: anStack.push_back(inst.nX); break;
        case Op::Split:
            anStack.push_back(inst.nY);
            anStack.push_back(inst.nX);
            break;
        case Op::Bol:
            if (nPos == 0)
                anStack.push_back(n + 1);
            break;
        case Op::Eol:
            if (nPos == nEnd)
                anStack.push_back(n + 1);
            break;
        default: aList.push_back(n); break;
        }
    }
}

bool Matcher::Search(const std::string& strText) const
{
    if (m_aProgram.empty())
        return false;
    std::vector<int> aCur, aNext, anStack;
    std::vector<uint32_t> anMark(m_aProgram.size(), 0);
    uint32_t nGen = 1;
    size_t nEnd = strText.size();
    AddThread(aCur, 0, 0, nEnd, nGen, anMark, anStack);
    size_t nPos = 0;
    for (;;) {
        for (int nPc : aCur) {
            if (m_aProgram[nPc].op == Op::Match)
                return true;
        }
        if (nPos >= nEnd)
            return false;
        size_t nAfter = nPos;
        uint32_t c = NextChar(strText, nAfter);
        if (++nGen == 0) {  // the marks wrap: start them afresh
            std::fill(anMark.begin(), anMark.end(), 0);
            nGen = 1;
        }
        aNext.clear();
        for (int nPc : aCur) {
            const Inst& inst = m_aProgram[nPc];
            bool bTakes = inst.op == Op::Char ? c == inst.nChar
                        : inst.op == Op::Any  ? c != '\n' && c != '\r'
                        : inst.op == Op::Class && m_aClasses[inst.nChar].Has(c);
            if (bTakes)
                AddThread(aNext, nPc + 1, nAfter, nEnd, nGen, anMark, anStack);
        }
        AddThread(aNext, 0, nAfter, nEnd, nGen, anMark, anStack);
        aCur.swap(aNext);
        nPos = nAfter;
    }
}

}  // namespace qwlog
