// A program of the GUI subsystem (no console of its own) switches the mirror on:
// the console is really allocated, its title reads back, and what the log wrote
// can be read back from the screen buffer with its colours.
#include "Support.h"

#include "WinConsole.h"

#include <string>

using namespace qwtest;

namespace {

class ConsoleWindowTest : public QwTest
{
protected:
    void SetUp()
    {
        QwTest::SetUp();
        QwSetConsoleApi(NULL);  // the real console calls
    }
};

// One row of the screen buffer: its characters and their attributes.
struct Row
{
    std::string strText;
    std::vector<WORD> attrs;
};

Row ReadRow(HANDLE hOut, SHORT nRow, DWORD nWidth)
{
    Row row;
    row.strText.assign(nWidth, ' ');
    row.attrs.assign(nWidth, 0);
    COORD at;
    at.X = 0;
    at.Y = nRow;
    DWORD nRead = 0;
    ReadConsoleOutputCharacterA(hOut, &row.strText[0], nWidth, at, &nRead);
    ReadConsoleOutputAttribute(hOut, &row.attrs[0], nWidth, at, &nRead);
    return row;
}

// The attributes of row's characters from nFrom for nCount, all equal to wAttr.
bool AllAttr(const Row& row, size_t nFrom, size_t nCount, WORD wAttr)
{
    for (size_t i = nFrom; i < nFrom + nCount; ++i)
        if ((row.attrs[i] & 0xFF) != wAttr)
            return false;
    return true;
}

} // namespace

TEST_F(ConsoleWindowTest, GuiProgramGetsItsOwnConsoleAndItsTitle)
{
    ASSERT_TRUE(GetConsoleWindow() == NULL) << "a GUI-subsystem program starts without a console";
    CWinConsole console;
    ASSERT_EQ(TRUE, console.Show(TRUE));
    HANDLE hOut = console.GetOutput();
    EXPECT_TRUE(hOut != NULL && hOut != INVALID_HANDLE_VALUE);
    EXPECT_TRUE(GetConsoleWindow() != NULL);
    ASSERT_TRUE(SetConsoleTitleA("Quillwork console check"));
    ASSERT_TRUE(console.GetTitle() != NULL);
    EXPECT_EQ(std::string("Quillwork console check"), console.GetTitle());
    // The window is looked up by the class Windows gives console windows; Wine's
    // console host uses a class of its own, and then the lookup finds nothing.
    char szClass[64] = { 0 };
    GetClassNameA(GetConsoleWindow(), szClass, sizeof(szClass));
    const bool bWindowsClass = std::string(szClass) == "ConsoleWindowClass";
    EXPECT_EQ(bWindowsClass ? GetConsoleWindow() : NULL, console.GetHwnd()) << szClass;
    EXPECT_EQ(bWindowsClass, console.DisableClose(TRUE) != FALSE) << szClass;
    CONSOLE_SCREEN_BUFFER_INFO info;
    ASSERT_TRUE(GetConsoleScreenBufferInfo(hOut, &info));
    EXPECT_EQ(CWinConsole::BUFFER_WIDTH, info.dwSize.X);
    EXPECT_EQ(CWinConsole::BUFFER_HEIGHT, info.dwSize.Y);
    EXPECT_EQ(CWinConsole::NORMAL_COLOR, info.wAttributes & 0xFF);
    // The console this object made goes with it.
    EXPECT_EQ(TRUE, console.Show(FALSE));
    EXPECT_TRUE(GetConsoleWindow() == NULL);
    EXPECT_TRUE(console.GetTitle() == NULL);
}

TEST_F(ConsoleWindowTest, MirroredEntryAndDumpReadBackWithTheirColours)
{
    WriteWhole(Host() + SEP + "Quillwork.ini", "[CONSOLE]\r\nOPEN=1\r\n");
    m_log = NewLog();
    ASSERT_EQ(TRUE, m_log->Open("Gui"));
    ASSERT_TRUE(GetConsoleWindow() != NULL);
    const unsigned char data[3] = { 0x41, 0x00, 0xFF };
    ASSERT_EQ(TRUE, m_log->WriteLog("%d items", 3));
    ASSERT_EQ(TRUE, m_log->WriteHex(data, sizeof(data), TRUE, TRUE));
    HANDLE hOut = GetStdHandle(STD_OUTPUT_HANDLE);
    const std::string strStamp = "2024-05-01 09:03:07  ";
    Row entry = ReadRow(hOut, 0, CWinConsole::BUFFER_WIDTH);
    EXPECT_EQ(strStamp + "3 items", entry.strText.substr(0, strStamp.size() + 7));
    EXPECT_TRUE(AllAttr(entry, 0, strStamp.size(), 6)) << "stamp colour";
    EXPECT_TRUE(AllAttr(entry, strStamp.size(), 7, 7)) << "message colour";
    // One empty line, then the dump: stamp and arrow, label, bytes.
    Row dump = ReadRow(hOut, 2, CWinConsole::BUFFER_WIDTH);
    const std::string strHead = "2024-05-01 09:03:07 --> ", strLabel = "00000000h: ", strBytes = "41 00 FF";
    EXPECT_EQ(strHead + strLabel + strBytes, dump.strText.substr(0, strHead.size() + strLabel.size() + strBytes.size()));
    EXPECT_TRUE(AllAttr(dump, 0, strHead.size(), 6)) << "dump stamp colour";
    EXPECT_TRUE(AllAttr(dump, strHead.size(), strLabel.size(), 3)) << "label colour";
    EXPECT_TRUE(AllAttr(dump, strHead.size() + strLabel.size(), strBytes.size(), 2)) << "bytes colour";
    EXPECT_EQ(TRUE, m_log->Close());
    EXPECT_TRUE(GetConsoleWindow() == NULL);
    EXPECT_EQ(std::string("\r\n------\r\n\r\n\r\n") + strStamp + "3 items\r\n\r\n" + strHead + strLabel + strBytes + " \r\n\r\n",
              ReadWhole(Day() + SEP + "090307_Gui.log"));
}
