// The portable writers and the byte check.
#include "Cases.h"

#include "BenchFile.h"
#include "Payload.h"

#include <stdio.h>

namespace {

// Shows a text with its control bytes escaped, cut to a readable length.
std::string Shown(const std::string& strText)
{
    std::string strShown;
    for (char c : strText.substr(0, 120)) {
        if (c == '\r') strShown += "\\r";
        else if (c == '\n') strShown += "\\n";
        else strShown += c;
    }
    return strShown + (strText.size() > 120 ? "..." : "");
}

// Prints PASS or FAIL for one writer's bytes against the library's; 1 on FAIL.
int CompareBytes(const std::string& strWhat, const std::string& strGot, const std::string& strLibrary)
{
    if (!strGot.empty() && MaskStamps(strGot) == MaskStamps(strLibrary)) {
        printf("PASS same bytes as the library: %s (%zu bytes)\n", strWhat.c_str(), strGot.size());
        return 0;
    }
    printf("FAIL same bytes as the library: %s\n  got     \"%s\"\n  library \"%s\"\n", strWhat.c_str(),
           Shown(strGot).c_str(), Shown(strLibrary).c_str());
    return 1;
}

// Checks one writer's entry and dumps against a fresh library object's.
int CheckWriter(const QW_WRITER& writer, CBenchSubject& library)
{
    std::unique_ptr<CBenchSubject> pSubject = writer.fnMake();
    if (!pSubject) {
        printf("FAIL same bytes as the library: %s could not be set up\n", writer.strName.c_str());
        return 1;
    }
    int nFailed = 0;
    long long nBefore;
    std::string strLibrary;
    if (writer.bEntries) {
        nBefore = BenchFileSize(library.Path());
        library.Entry();
        strLibrary = BenchReadFrom(library.Path(), nBefore);
        nBefore = BenchFileSize(pSubject->Path());
        pSubject->Entry();
        nFailed += CompareBytes(writer.strName + " entry", BenchReadFrom(pSubject->Path(), nBefore), strLibrary);
    }
    for (unsigned int nSize : QW_DUMP_SIZES) {
        if (!writer.bDumps || !writer.bSameDumps)
            break;
        nBefore = BenchFileSize(library.Path());
        library.Dump(BenchDumpData(), nSize);
        strLibrary = BenchReadFrom(library.Path(), nBefore);
        nBefore = BenchFileSize(pSubject->Path());
        pSubject->Dump(BenchDumpData(), nSize);
        nFailed += CompareBytes(writer.strName + " dump of " + std::to_string(nSize) + " B",
                                BenchReadFrom(pSubject->Path(), nBefore), strLibrary);
    }
    return nFailed;
}

} // namespace

std::vector<QW_WRITER> BenchPortableWriters()
{
    std::string strCall = BenchWriteCallName();
    std::vector<QW_WRITER> writers;
    writers.push_back({ "quillwork", [] { return MakeQuillwork(); }, true, true, false, false });
    writers.push_back({ "floor_" + strCall + "1", [] { return MakeFloor(QW_FLOOR_ONE_WRITE); }, true, true, true, true });
    writers.push_back({ "floor_" + strCall + "3", [] { return MakeFloor(QW_FLOOR_PIECES); }, true, false, true, false });
    writers.push_back({ "floor_" + strCall + "4n1", [] { return MakeFloor(QW_FLOOR_PIECES); }, false, true, true, true });
    writers.push_back({ "floor_format_" + strCall + "1", [] { return MakeFloor(QW_FLOOR_FORMAT); }, true, false, true, false });
    return writers;
}

std::vector<QW_WRITER> BenchSyncWriters()
{
    std::string strCall = BenchWriteCallName();
    std::vector<QW_WRITER> writers;
    // Checked against the plain library: SYNC=1 changes no byte.
    writers.push_back({ "quillwork", [] { return MakeQuillwork(true); }, true, true, true, true });
    writers.push_back({ "floor_" + strCall + "1", [] { return MakeFloor(QW_FLOOR_ONE_WRITE, true); }, true, true, true, true });
    return writers;
}

int BenchCheckBytes(const std::vector<QW_WRITER>& writers)
{
    std::unique_ptr<CBenchSubject> pLibrary = MakeQuillwork();
    if (!pLibrary || BenchPayload().strEntry.empty()) {
        printf("FAIL same bytes as the library: no library object could open a file\n");
        return 1;
    }
    int nFailed = 0;
    for (const QW_WRITER& writer : writers)
        if (writer.bSameBytes)
            nFailed += CheckWriter(writer, *pLibrary);
    return nFailed;
}

long long BenchBytesOfOne(CBenchSubject& subject, const std::function<void()>& op)
{
    long long nBefore = BenchFileSize(subject.Path());
    op();
    long long nAfter = BenchFileSize(subject.Path());
    return nBefore < 0 || nAfter < 0 ? -1 : nAfter - nBefore;
}
