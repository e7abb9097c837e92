// Text conversions of the Windows side: the library's paths are UTF-8 and
// become wide strings at each file-system call.
#ifndef QUILLWORK_WIN32CHARSET_H
#define QUILLWORK_WIN32CHARSET_H

#include <windows.h>

#include <string>

// The wide form of UTF-8 text; empty when the text is not valid UTF-8.
std::wstring QwWideFromUtf8(const std::string& str);

// The UTF-8 form of wide text.
std::string QwUtf8FromWide(const wchar_t* psz, size_t nLen);

// The wide path for a file-system call: '/' becomes '\', and a path too long
// for the classic limit takes the \\?\ (or \\?\UNC\) form of its full path.
// Empty when the text is not valid UTF-8.
std::wstring QwWidePath(const std::string& strPath);

#endif
