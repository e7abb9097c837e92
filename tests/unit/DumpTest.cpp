// Dump entries: WriteHex's layout (golden text), the byte text and offset
// labels, console colours, and input that cannot be read.
#include "Support.h"

#include "DumpLine.h"
#include "DumpText.h"

#include <string.h>

#include <algorithm>
#include <atomic>
#include <new>
#include <thread>

using namespace qwtest;

namespace {

class DumpTest : public QwTest
{
protected:
    void SetUp()
    {
        QwTest::SetUp();
        SetNow(Utc(2024, 3, 5, 9, 8, 7));
        m_log = NewLog();
        ASSERT_EQ(TRUE, m_log->Open(NULL));
    }
    std::string Dumped() const { return AfterBanner(ReadWhole(Day("2024-03-05") + "/090807.log")); }
};

std::vector<unsigned char> Counting(unsigned int nCount)
{
    std::vector<unsigned char> data;
    for (unsigned int i = 0; i < nCount; ++i)
        data.push_back((unsigned char)i);
    return data;
}

const std::string STAMP = "2024-03-05 09:08:07";
const std::string STAMP_OUT = STAMP + " --> ";
const std::string STAMP_IN = STAMP + " <-- ";

} // namespace

TEST_F(DumpTest, LayoutsBySizeDirectionAndBase)
{
    const std::string strHex0 = "00000000h: 00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F ;\r\n";
    const std::string strDec0 = "00000000d: 00 01 02 03 04 05 06 07 08 09 10 11 12 13 14 15 ;\r\n";
    const std::string strHex1 = "00000010h: 10 11 12 13 14 15 16 17 18 19 1A 1B 1C 1D 1E 1F ;\r\n";
    const std::string str200 = "200 200 200 200 200 200 200 200 200 200 200 200 200 ";
    const std::string strFives = "05 05 05 05 05 05 05 05 05 05 05 05 05 05 05 05 ;\r\n";
    // Counting bytes 0, 1, 2... unless the row gives its own.
    struct { unsigned int nSize; BOOL bOut; BOOL bHex; std::vector<unsigned char> own; std::string strDump; } cases[] = {
        { 16, TRUE, TRUE, {}, STAMP_OUT + strHex0 + "\r\n" },
        { 17, TRUE, TRUE, {}, STAMP_OUT + strHex0 + DUMP_INDENT + "00000010h: 10 \r\n\r\n" },
        { 20, TRUE, TRUE, {}, STAMP_OUT + strHex0 + DUMP_INDENT + "00000010h: 10 11 12 13 \r\n\r\n" },
        { 32, TRUE, TRUE, {}, STAMP_OUT + strHex0 + DUMP_INDENT + strHex1 + "\r\n" },
        { 32, FALSE, TRUE, {}, STAMP_IN + strHex0 + DUMP_INDENT + strHex1 + "\r\n" },
        { 16, FALSE, TRUE, {}, STAMP_IN + strHex0 + "\r\n" },
        { 16, 7, TRUE, {}, STAMP_OUT + strHex0 + "\r\n" },
        { 17, 7, TRUE, {}, STAMP_OUT + strHex0 + DUMP_INDENT + "00000010h: 10 \r\n\r\n" },
        { 16, TRUE, FALSE, {}, STAMP_OUT + strDec0 + "\r\n" },
        { 17, FALSE, FALSE, {}, STAMP_IN + strDec0 + DUMP_INDENT + "00000016d: 16 \r\n\r\n" },
        { 33, TRUE, FALSE, {},
          STAMP_OUT + strDec0 + DUMP_INDENT + "00000016d: 16 17 18 19 20 21 22 23 24 25 26 27 28 29 30 31 ;\r\n" + DUMP_INDENT + "00000032d: 32 \r\n\r\n" },
        { 1, TRUE, TRUE, {}, STAMP_OUT + "00000000h: 00 \r\n\r\n" },
        { 33, FALSE, FALSE, std::vector<unsigned char>(33, 5),
          STAMP_IN + "00000000d: " + strFives + DUMP_INDENT + "00000016d: " + strFives + DUMP_INDENT + "00000032d: 05 \r\n\r\n" },
        // Values of three digits: every one is written, the ';' after them.
        { 29, TRUE, FALSE, std::vector<unsigned char>(29, 200),
          STAMP_OUT + "00000000d: " + str200 + "200 200 200 ;\r\n" + DUMP_INDENT + "00000016d: " + str200 + ";\r\n\r\n" },
        { 4, TRUE, FALSE, { 5, 99, 100, 255 }, STAMP_OUT + "00000000d: 05 99 100 255 \r\n\r\n" },
    };
    std::vector<unsigned char> counting = Counting(64);
    std::string strExpected;
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        const unsigned char* pData = cases[i].own.empty() ? &counting[0] : &cases[i].own[0];
        EXPECT_EQ(TRUE, m_log->WriteHex(pData, cases[i].nSize, cases[i].bOut, cases[i].bHex)) << "case " << i;
        strExpected += cases[i].strDump;
    }
    EXPECT_EQ(strExpected, Dumped());
    EXPECT_TRUE(Reports().empty());
}

TEST(DumpText, ByteTexts)
{
    struct { std::vector<unsigned char> data; BOOL bHex; std::string strText; } cases[] = {
        { { 100, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15 }, FALSE, "100 01 02 03 04 05 06 07 08 09 10 11 12 13 14 15 ;" },
        { { 200, 201, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15 }, FALSE, "200 201 02 03 04 05 06 07 08 09 10 11 12 13 14 15 ;" },
        { std::vector<unsigned char>(16, 255), FALSE,
          "255 255 255 255 255 255 255 255 255 255 255 255 255 255 255 255 ;" },
        { { 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25 }, FALSE, "10 11 12 13 14 15 16 17 18 19 20 21 22 23 24 25 ;" },
        { { 5, 99, 100, 255 }, FALSE, "05 99 100 255 " },
        { std::vector<unsigned char>(16, 255), TRUE, "FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF ;" },
        { { 0xAB, 0x0C }, TRUE, "AB 0C " },
        { std::vector<unsigned char>(20, 1), TRUE, "01 01 01 01 01 01 01 01 01 01 01 01 01 01 01 01 ;" },  // 16 a line at most
        { {}, FALSE, "" },
    };
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        SCOPED_TRACE(cases[i].strText);
        char sz[66];
        memset(sz, 'X', sizeof(sz));
        unsigned int nCount = (unsigned int)(cases[i].data.size() < 16 ? cases[i].data.size() : 16);
        size_t nLen = QwPutDumpBytes(sz, cases[i].data.data(), nCount, cases[i].bHex);
        EXPECT_EQ(cases[i].strText, std::string(sz, nLen));
    }
}

TEST(DumpText, OffsetLabels)
{
    struct { unsigned int nOffset; BOOL bHex; const char* pszLabel; } cases[] = {
        { 0, TRUE, "00000000h: " }, { 16, TRUE, "00000010h: " }, { 0x80000010u, TRUE, "80000010h: " },
        { 0, FALSE, "00000000d: " }, { 16, FALSE, "00000016d: " }, { 32, FALSE, "00000032d: " },
        { 0x80000010u, FALSE, "2147483664d: " }, { 0xFFFFFFF0u, TRUE, "FFFFFFF0h: " },
    };
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        char sz[16];
        size_t nLen = QwPutDumpLabel(sz, cases[i].nOffset, cases[i].bHex);
        EXPECT_EQ(std::string(cases[i].pszLabel), std::string(sz, nLen));
    }
}

namespace {

// Lines nFirst to nEnd - 1 of the dump of nSize bytes at pData, as the model
// lays them out: each but line 0 after nIndent spaces.
std::string ModelLines(const unsigned char* pData, unsigned int nSize, unsigned int nFirst, unsigned int nEnd,
                       bool bHex, unsigned int nIndent)
{
    std::string str;
    for (unsigned int nLine = nFirst; nLine < nEnd; ++nLine) {
        size_t nOffset = (size_t)nLine * 16;
        size_t nCount = nSize - nOffset < 16 ? nSize - nOffset : 16;
        str += std::string(nLine != 0 ? nIndent : 0, ' ') + Digits(nOffset, bHex ? 16 : 10, 8) + (bHex ? "h: " : "d: ");
        str += DumpBytes(pData + nOffset, nCount, bHex) + "\r\n";
    }
    return str;
}

// Gives the vector routine back to dumps when a test that kept them on the
// table routine ends.
struct FastDumpLinesBack
{
    ~FastDumpLinesBack() { QwAllowFastDumpLines(TRUE); }
};

} // namespace

TEST(DumpText, FullLinesAlikeOnEitherRoutineAndAsTheModelLaysThemOut)
{
    // Every lane of a line sees every byte value: byte j of line L is L + 17 j.
    // The dump is large enough for offsets past 0xFFFFFF.
    const unsigned int nSize = 0x1000000 + 16 * 17 + 5;  // its last line partial, at 0x1000110
    std::vector<unsigned char> data(nSize);
    for (size_t i = 0; i < nSize; ++i)
        data[i] = (unsigned char)(i / 16 + 17 * (i % 16));
    const unsigned int nLast = nSize / 16;  // the partial line
    struct { unsigned int nSize, nFirst, nEnd, nIndent; BOOL bHex; } cases[] = {
        { 16, 0, 1, 24, TRUE },                    // one line, no indent
        { 4096, 0, 256, 24, TRUE },                // the usual dump: every value in every lane
        { 4096 + 5, 0, 257, 24, TRUE },            // the last full line, then a partial one
        { 4096 + 15, 250, 257, 24, TRUE },
        { 4096, 1, 256, 24, TRUE },                // a range begun past the first line
        { 4096, 7, 40, 24, TRUE },                 // begun and ended inside a group of 16 lines
        { 4096, 0, 256, 5, TRUE },                 // other stamp lengths
        { 4096, 3, 33, 37, TRUE },
        { 4096, 0, 3, 0, TRUE },
        { nSize, 0xFFE, 0x1012, 24, TRUE },        // offsets 0xFFE0 to 0x10110
        { nSize, 0xFFFEF, 0x100011, 24, TRUE },    // 0xFFFEF0 to 0x1000100
        { nSize, nLast - 2, nLast + 1, 24, TRUE }, // the dump's end past 0x1000000
        { nSize, nLast - 2, nLast + 1, 24, FALSE },
        { 4096 + 5, 0, 257, 24, FALSE },           // decimal lines take the table path on both
        { 40, 2, 3, 24, TRUE },                    // only the partial line
        { 32, 2, 2, 24, TRUE },                    // nothing at all
    };
    FastDumpLinesBack back;
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "size " << c.nSize << ", lines " << c.nFirst << "-" << c.nEnd << ", indent "
                                        << c.nIndent << (c.bHex ? ", hex" : ", decimal"));
        ASSERT_LE(c.nEnd, QwDumpLineCount(c.nSize)) << "a row past its dump";
        const std::string strModel = ModelLines(&data[0], c.nSize, c.nFirst, c.nEnd, c.bHex != FALSE, c.nIndent);
        for (BOOL bFast : { TRUE, FALSE }) {
            SCOPED_TRACE(bFast ? "vector routine where the processor has it" : "table routine");
            QwAllowFastDumpLines(bFast);
            // Marked room past the text: nothing is written beyond what is given back.
            std::string strOut((size_t)(c.nEnd - c.nFirst) * QwDumpLineRoom(c.nIndent) + 64, '\x7F');
            size_t nLen = QwFormatDumpLines(&strOut[0], &data[0], c.nSize, c.nFirst, c.nEnd, c.bHex, c.nIndent);
            EXPECT_EQ(strModel, strOut.substr(0, nLen));
            EXPECT_EQ(std::string(strOut.size() - nLen, '\x7F'), strOut.substr(nLen)) << "written past the text";
        }
    }
}

TEST_F(DumpTest, UnreadableEmptyAndPartlyReadableRanges)
{
    // A range the process cannot read in full writes nothing; an empty one is one
    // empty line, wherever it points; the last readable bytes themselves still dump.
    GuardedPages pages;
    const unsigned char* pEdge = pages.Guard();
    std::string strAbLine;
    for (int i = 0; i < 16; ++i)
        strAbLine += "AB ";
    strAbLine += ";\r\n";
    struct { const unsigned char* pData; unsigned int nSize; BOOL bOut; BOOL bHex; std::string strEntry; } cases[] = {
        { NULL, 1, TRUE, TRUE, "" },
        { NULL, 0, TRUE, TRUE, STAMP_OUT + "00000000h: \r\n\r\n" },
        { pEdge, 0, FALSE, FALSE, STAMP_IN + "00000000d: \r\n\r\n" },
        { pEdge, 0, TRUE, TRUE, STAMP_OUT + "00000000h: \r\n\r\n" },
        { pEdge, 1, TRUE, TRUE, "" },
        { pEdge, 16, TRUE, TRUE, "" },
        { pEdge - 8, 16, TRUE, TRUE, "" },
        { pEdge - 1, 2, TRUE, FALSE, "" },
        { pEdge - 1, 2, TRUE, TRUE, "" },
        { pages.Readable(), (unsigned int)pages.Page() + 1, TRUE, TRUE, "" },
        { pages.Readable(), 0xFFFFFFFFu, TRUE, TRUE, "" },
        { pEdge - 3, 3, TRUE, TRUE, STAMP_OUT + "00000000h: AB AB AB \r\n\r\n" },
        { pEdge - 2, 2, TRUE, TRUE, STAMP_OUT + "00000000h: AB AB \r\n\r\n" },
        // Full lines that end at the unreadable page: nothing past them is read.
        { pEdge - 16, 16, TRUE, TRUE, STAMP_OUT + "00000000h: " + strAbLine + "\r\n" },
        { pEdge - 32, 32, FALSE, TRUE, STAMP_IN + "00000000h: " + strAbLine + DUMP_INDENT + "00000010h: " + strAbLine + "\r\n" },
    };
    std::string strExpected;
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(TRUE, m_log->WriteHex(cases[i].pData, cases[i].nSize, cases[i].bOut, cases[i].bHex));
        strExpected += cases[i].strEntry;
        EXPECT_EQ(strExpected, Dumped());
    }
}

TEST_F(DumpTest, ConsolePiecesAndColours)
{
    ASSERT_EQ(TRUE, m_log->ShowConsole(TRUE));
    ConsoleRecorder::Reset();
    std::vector<unsigned char> data = Counting(20);
    ASSERT_EQ(TRUE, m_log->WriteHex(&data[0], 20, TRUE, TRUE));
    const std::string A = "SetConsoleColour ", W = "WriteConsoleText ";
    std::vector<std::string> expected = {
        A + "6", W + STAMP_OUT, A + "7",
        A + "3", W + "00000000h: ", A + "7",
        A + "2", W + "00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F ;", A + "7",
        W + "\r\n",
        W + DUMP_INDENT,
        A + "3", W + "00000010h: ", A + "7",
        A + "2", W + "10 11 12 13 ", A + "7",
        W + "\r\n",
        W + "\r\n",
    };
    EXPECT_EQ(expected, ConsoleRecorder::Effects());
    EXPECT_EQ(ConsoleRecorder::Written(), Dumped());
}

namespace {

// The largest single request the allocation seam has seen since the last reset.
std::atomic<size_t> s_nLargest(0);

void* RecordingAlloc(size_t nSize)
{
    size_t nSeen = s_nLargest.load();
    while (nSize > nSeen && !s_nLargest.compare_exchange_weak(nSeen, nSize)) {}
    return ::operator new(nSize, std::nothrow);
}

void* NoMemoryAlloc(size_t) { return NULL; }

const size_t DUMP_WRITE_MAX = 4 << 20;                                // the one-write bound of the text
const unsigned int LINES_PER_WRITE = (DUMP_WRITE_MAX - 24 - 2) / 104;  // a line takes at most 104 bytes

} // namespace

TEST_F(DumpTest, DumpsPastTheObjectsBufferKeepTheLayoutWithMemoryOrWithoutAndInBoundedMemory)
{
    // Too large for the object's own buffer, with memory for the text and without;
    // just below, at and just past what one write holds, and three parts; in parts
    // of the bound, and in the object's own small buffer when no memory is left.
    struct { const char* pszName; unsigned int nSize; BOOL bHex; PFN_QWALLOC pfnAlloc; } cases[] = {
        { "20000 bytes", 20000, TRUE, &RecordingAlloc },
        { "20000 bytes, no memory", 20000, TRUE, &NoMemoryAlloc },
        { "20000 bytes, decimal", 20000, FALSE, &RecordingAlloc },
        { "20000 bytes, decimal, no memory", 20000, FALSE, &NoMemoryAlloc },
        { "bound - 1 line", (LINES_PER_WRITE - 1) * 16, TRUE, &RecordingAlloc },
        { "bound", LINES_PER_WRITE * 16, FALSE, &RecordingAlloc },
        { "bound + 1 line", LINES_PER_WRITE * 16 + 1, TRUE, &RecordingAlloc },
        { "three parts", 2 * LINES_PER_WRITE * 16 + 5, FALSE, &RecordingAlloc },
        { "no memory: small parts", LINES_PER_WRITE * 16 + 1, TRUE, &NoMemoryAlloc },
        // Mid-sized dumps, laid out before the lock in memory of their own: just
        // past the small ones, with and without that memory, and the largest
        // and the next that one batch of the queue takes (629 lines).
        { "257 bytes", 257, TRUE, &RecordingAlloc },
        { "1000 bytes, decimal", 1000, FALSE, &RecordingAlloc },
        { "1000 bytes, no memory", 1000, TRUE, &NoMemoryAlloc },
        { "629 lines, decimal", 629 * 16, FALSE, &RecordingAlloc },
        { "629 lines and one byte", 629 * 16 + 1, TRUE, &RecordingAlloc },
    };
    std::vector<unsigned char> data(2 * LINES_PER_WRITE * 16 + 5);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = (unsigned char)(i * 7 + i / 251);
    std::string strExpected;
    s_nLargest = 0;
    for (const auto& c : cases) {
        QwSetAllocator(c.pfnAlloc);
        EXPECT_EQ(TRUE, m_log->WriteHex(&data[0], c.nSize, TRUE, c.bHex)) << c.pszName;
        QwSetAllocator(NULL);
        strExpected += DumpEntry(STAMP, &data[0], c.nSize, true, c.bHex != FALSE);
    }
    std::string strDumped = Dumped();
    EXPECT_EQ(strExpected.size(), strDumped.size());
    EXPECT_TRUE(strExpected == strDumped) << "first difference at " << std::mismatch(strExpected.begin(), strExpected.end(), strDumped.begin()).first - strExpected.begin();
    EXPECT_GT(s_nLargest.load(), DUMP_WRITE_MAX / 2);
    EXPECT_LE(s_nLargest.load(), DUMP_WRITE_MAX) << "no buffer beyond the bound, whatever the dump's size";
}

TEST_F(DumpTest, ADumpInPartsShowsWhatTheFileHolds)
{
    // Without memory the dump goes out in parts of the object's own buffer: the
    // console is given every part, in order, once all are in the file.
    ASSERT_EQ(TRUE, m_log->ShowConsole(TRUE));
    ConsoleRecorder::Reset();
    std::vector<unsigned char> data = Counting(20000);
    QwSetAllocator(&NoMemoryAlloc);
    EXPECT_EQ(TRUE, m_log->WriteHex(&data[0], 20000, FALSE, TRUE));
    QwSetAllocator(NULL);
    EXPECT_EQ(DumpEntry(STAMP, &data[0], 20000, false, true), Dumped());
    EXPECT_EQ(ConsoleRecorder::Written(), Dumped());
}

TEST_F(DumpTest, NoEntryOfTheProcessLandsBetweenThePartsOfADump)
{
    // One object dumps in parts (no memory: parts of its own small buffer) while
    // another object of the process writes entries to the same file.
    LogPtr other = NewLog();
    ASSERT_EQ(TRUE, other->Open(NULL));  // the same second: the same file
    const unsigned int nDumps = 150, nSize = 20000;
    std::vector<unsigned char> data = Counting(nSize);
    std::atomic<int> nEntries(0);
    std::atomic<bool> bDone(false);
    QwSetAllocator(&NoMemoryAlloc);
    std::thread writer([&] {
        // Bounded, so that a slow build (a sanitizer) does not make a file too
        // large to search.
        for (int i = 0; !bDone.load() && i < 20000; ++i) {
            other->WriteLog("entry %d", i);
            nEntries.fetch_add(1);
        }
    });
    std::thread dumper([&] {
        while (nEntries.load() == 0)
            std::this_thread::yield();  // the writer is under way
        for (unsigned int i = 0; i < nDumps; ++i)
            m_log->WriteHex(&data[0], nSize, TRUE, TRUE);
        bDone.store(true);
    });
    dumper.join();
    writer.join();
    QwSetAllocator(NULL);
    std::string strFile = Dumped();
    const std::string strDump = DumpEntry(STAMP, &data[0], nSize, true, true);
    unsigned int nWhole = 0;
    std::string strRest;  // the file without its whole dumps
    size_t nFrom = 0;
    for (size_t nAt; (nAt = strFile.find(strDump, nFrom)) != std::string::npos; ++nWhole) {
        strRest.append(strFile, nFrom, nAt - nFrom);
        nFrom = nAt + strDump.size();
    }
    strRest.append(strFile, nFrom, std::string::npos);
    EXPECT_EQ(nDumps, nWhole);
    EXPECT_EQ(std::string::npos, strRest.find("h: ")) << "a part of a dump stands apart";
}

TEST_F(DumpTest, ADumpWhoseClockHasNoLocalTimeHasNoStampAndNoIndent)
{
    // The lines were laid out before the lock for a stamp of the usual length;
    // a clock reading with no local time gives no stamp at all, and the dump is
    // made again for that: every line at the left edge, nothing lost.
    SetNow((time_t)0x7fffffffffffffffLL);
    std::string strExpected;
    for (unsigned int nSize : { 20u, 1000u }) {
        std::vector<unsigned char> data = Counting(nSize);
        EXPECT_EQ(TRUE, m_log->WriteHex(&data[0], nSize, TRUE, TRUE));
        for (unsigned int nLine = 0; nLine * 16 < nSize; ++nLine) {
            unsigned int nCount = nSize - nLine * 16 < 16 ? nSize - nLine * 16 : 16;
            strExpected += Digits(nLine * 16, 16, 8) + "h: " + DumpBytes(&data[nLine * 16], nCount, true) + "\r\n";
        }
        strExpected += "\r\n";
    }
    EXPECT_EQ(strExpected, Dumped());
}
