// A small host for the qwlog tests: loads libquillwork.so from its own folder, as a host does,
// and carries out the commands of a script read from standard input, one a line:
//   open NAME            Open (NAME "-" for a null name)
//   log TEXT             WriteLog("%s", TEXT); TEXT takes \t \r \n \" \\ \xHH escapes
//   hex out|in hex|dec BYTES
//                        WriteHex; BYTES are tokens: N (a byte), A..B (a run), N*K (K copies)
//   sleep MS             waits, so a reader can watch the file grow
//   close                Close
// Prints the path of each file it opens.
#include "QwLoader.h"

#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <iostream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// The text with its escapes resolved.
std::string Unescape(const std::string& s)
{
    std::string strOut;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 == s.size()) {
            strOut += s[i];
            continue;
        }
        char c = s[++i];
        if (c == 't') strOut += '\t';
        else if (c == 'r') strOut += '\r';
        else if (c == 'n') strOut += '\n';
        else if (c == 'x' && i + 2 < s.size() + 0) {
            strOut += (char)std::strtol(s.substr(i + 1, 2).c_str(), nullptr, 16);
            i += 2;
        } else strOut += c;
    }
    return strOut;
}

// The bytes a BYTES list names.
std::vector<unsigned char> Bytes(std::istringstream& in)
{
    std::vector<unsigned char> ab;
    std::string strTok;
    while (in >> strTok) {
        size_t nDots = strTok.find("..");
        size_t nStar = strTok.find('*');
        if (nDots != std::string::npos) {
            int nFrom = std::atoi(strTok.c_str()), nTo = std::atoi(strTok.c_str() + nDots + 2);
            for (int n = nFrom; n <= nTo; ++n)
                ab.push_back((unsigned char)n);
        } else if (nStar != std::string::npos) {
            int nValue = std::atoi(strTok.c_str()), nCount = std::atoi(strTok.c_str() + nStar + 1);
            ab.insert(ab.end(), (size_t)nCount, (unsigned char)nValue);
        } else {
            ab.push_back((unsigned char)std::atoi(strTok.c_str()));
        }
    }
    return ab;
}

}  // namespace

int main()
{
    PFN_CREATELOGOBJECT pfnCreate = QwLoadFactory();
    if (pfnCreate == nullptr) {
        std::fprintf(stderr, "cannot load %s\n", QwLibraryName());
        return 1;
    }
    ILogObject* pLog = pfnCreate(0);
    std::string strLine;
    while (std::getline(std::cin, strLine)) {
        std::istringstream in(strLine);
        std::string strCmd;
        in >> strCmd;
        std::string strRest = strLine.size() > strCmd.size() + 1 ? strLine.substr(strCmd.size() + 1) : "";
        if (strCmd == "open") {
            if (!pLog->Open(strRest == "-" ? nullptr : strRest.c_str()))
                std::fprintf(stderr, "Open(%s) failed\n", strRest.c_str());
        } else if (strCmd == "log") {
            pLog->WriteLog("%s", Unescape(strRest).c_str());
        } else if (strCmd == "hex") {
            std::string strDir, strRadix;
            in >> strDir >> strRadix;
            std::vector<unsigned char> ab = Bytes(in);
            static const unsigned char kNone = 0;  // a real address for an empty dump
            pLog->WriteHex(ab.empty() ? &kNone : ab.data(), (unsigned)ab.size(), strDir == "out", strRadix == "hex");
        } else if (strCmd == "sleep") {
            usleep((useconds_t)std::atoi(strRest.c_str()) * 1000);
        } else if (strCmd == "close") {
            pLog->Close();
        } else if (!strCmd.empty() && strCmd[0] != '#') {
            std::fprintf(stderr, "unknown command: %s\n", strCmd.c_str());
            return 2;
        }
    }
    pLog->Release();
    return 0;
}
