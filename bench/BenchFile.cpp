// The portable file helpers of the benchmarks, on std::filesystem and stdio.
#include "BenchFile.h"

#include <stdio.h>

#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

long long BenchFileSize(const std::string& strPath)
{
    std::error_code ec;
    uintmax_t nSize = fs::file_size(fs::u8path(strPath), ec);
    return ec ? -1 : (long long)nSize;
}

std::string BenchReadFrom(const std::string& strPath, long long nOffset)
{
    std::string strData;
    FILE* pFile = fopen(strPath.c_str(), "rb");
    if (pFile == NULL)
        return strData;
    if (fseek(pFile, (long)nOffset, SEEK_SET) == 0) {
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof(buf), pFile)) > 0)
            strData.append(buf, n);
    }
    fclose(pFile);
    return strData;
}

bool BenchTruncate(const std::string& strPath)
{
    std::error_code ec;
    fs::resize_file(fs::u8path(strPath), 0, ec);
    return !ec;
}

std::string BenchFindFile(const std::string& strRoot, const std::string& strSuffix)
{
    std::error_code ec;
    for (fs::recursive_directory_iterator it(fs::u8path(strRoot), ec), end; !ec && it != end; it.increment(ec)) {
        if (it.depth() > 1 || !it->is_regular_file(ec))
            continue;
        std::string strName = it->path().filename().u8string();
        if (strName.size() >= strSuffix.size() && strName.compare(strName.size() - strSuffix.size(), strSuffix.size(), strSuffix) == 0)
            return it->path().u8string();
    }
    return std::string();
}

bool BenchMakeDirs(const std::string& strPath)
{
    std::error_code ec;
    fs::create_directories(fs::u8path(strPath), ec);
    return fs::is_directory(fs::u8path(strPath), ec);
}

void BenchRemove(const std::string& strPath)
{
    std::error_code ec;
    fs::remove(fs::u8path(strPath), ec);
}
