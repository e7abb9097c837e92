// Where qwlog sends the records that pass the filters: JSON Lines, pcapng, or the terminal.
#ifndef QWLOG_OUTPUTS_H
#define QWLOG_OUTPUTS_H

#include "CodePages.h"
#include "Record.h"

#include <cstdio>
#include <string>
#include <vector>

namespace qwlog {

class Output
{
public:
    virtual ~Output() {}
    // Writes one record; strText is the entry's text as UTF-8.
    virtual void Write(const Record& record, const std::string& strText) = 0;
    // Ends the output; false when something could not be written.
    virtual bool Finish() = 0;
};

// One JSON object a line on standard output.
class JsonOutput : public Output
{
public:
    explicit JsonOutput(const CodePage& page) : m_page(page) {}
    void Write(const Record& record, const std::string& strText) override;
    bool Finish() override;

private:
    const CodePage& m_page;
};

// The records as the file holds them, in the console mirror's colours when bColour.
class CatOutput : public Output
{
public:
    CatOutput(const CodePage& page, bool bColour) : m_page(page), m_bColour(bColour) {}
    void Write(const Record& record, const std::string& strText) override;
    bool Finish() override;

private:
    void Piece(const std::string& strText, const char* pszColour);
    const CodePage& m_page;
    bool m_bColour;
};

// A pcapng file: one packet per complete, non-empty dump, link type USER0, the dump's time as
// the packet time, the direction in the packet flags. A dump longer than the snap length
// (the most Wireshark and tshark take in one packet) is captured in part, its length kept.
// A plain file is written under a temporary name in its folder and takes its own name at
// Finish, so a failed run leaves whatever stood there before; a device, pipe or link (such as
// /dev/stdout) is written as it stands.
class PcapOutput : public Output
{
public:
    static const unsigned kLinkType = 147;  // LINKTYPE_USER0
    static const unsigned kSnapLength = 262144;

    PcapOutput() {}
    ~PcapOutput() override;
    // Creates the temporary file and writes the header; false with strError set when it cannot.
    bool Create(const std::string& strPath, std::string& strError);
    void Write(const Record& record, const std::string& strText) override;
    // Writes the rest and moves the file into place; false when something failed.
    bool Finish() override;
    unsigned long long Packets() const { return m_nPackets; }
    unsigned long long Skipped() const { return m_nSkipped; }
    // "file:line (N bytes)" of each dump captured in part.
    const std::vector<std::string>& Cut() const { return m_aCut; }

private:
    void Block(unsigned nType, const std::string& strBody);
    std::FILE* m_pFile = nullptr;
    std::string m_strPath, m_strTemp;
    unsigned long long m_nPackets = 0;
    unsigned long long m_nSkipped = 0;
    std::vector<std::string> m_aCut;
};

// UTF-8 text with its control characters made visible, as the library's console mirror shows
// them: C0 but TAB, CR and LF in caret form (ESC "^[", NUL "^@"), DEL "^?", C1 as "\x9b".
std::string EscapeControls(const std::string& strText);

// Microseconds since 1970 for a stamp "YYYY-MM-DD HH:MM:SS" read as local time.
long long StampToMicroseconds(const std::string& strTime);

}  // namespace qwlog

#endif
