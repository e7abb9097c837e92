// Where qwlog sends the records that pass the filters: JSON Lines, pcapng, or the terminal.
#ifndef QWLOG_OUTPUTS_H
#define QWLOG_OUTPUTS_H

#include "CodePages.h"
#include "Record.h"

#include <cstdio>
#include <string>

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
// the packet time, the direction in the packet flags.
class PcapOutput : public Output
{
public:
    static const unsigned kLinkType = 147;  // LINKTYPE_USER0

    PcapOutput() {}
    ~PcapOutput() override;
    // Creates the file and writes its header; false with strError set when it cannot.
    bool Create(const std::string& strPath, std::string& strError);
    void Write(const Record& record, const std::string& strText) override;
    bool Finish() override;
    unsigned long long Packets() const { return m_nPackets; }
    unsigned long long Skipped() const { return m_nSkipped; }

private:
    void Block(unsigned nType, const std::string& strBody);
    std::FILE* m_pFile = nullptr;
    unsigned long long m_nPackets = 0;
    unsigned long long m_nSkipped = 0;
};

// Microseconds since 1970 for a stamp "YYYY-MM-DD HH:MM:SS" read as local time.
long long StampToMicroseconds(const std::string& strTime);

}  // namespace qwlog

#endif
