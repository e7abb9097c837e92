/* Quillwork: durable, readable logs for desktop programs.
 * Copyright (c) 2026 the Quillwork authors. MIT License (see LICENSE).
 *
 * A host loads the library (Quillwork.dll on Windows, libquillwork.so on Linux),
 * calls CreateLogObject(0) and talks to the object only through ILogObject.
 * Log files go to <host folder>/Log/YYYY-MM-DD/HHMMSS_name.log.
 * This header needs no <windows.h>.
 */
#ifndef QUILLWORK_H
#define QUILLWORK_H

/* The version of this header and of the library built with it. */
#define QUILLWORK_VERSION_MAJOR 1
#define QUILLWORK_VERSION_MINOR 0
#define QUILLWORK_VERSION_PATCH 0

#if defined(_WIN32)
#  if defined(QUILLWORK_STATIC)
#    define QUILLWORK_API
#  elif defined(QUILLWORK_BUILD)
#    define QUILLWORK_API __declspec(dllexport)
#  else
#    define QUILLWORK_API __declspec(dllimport)
#  endif
#  define QUILLWORK_CALL __cdecl
#else
#  define QUILLWORK_API __attribute__((visibility("default")))
#  define QUILLWORK_CALL
#endif

/* Format checks in the host's build, with no effect on the binary interface:
 * GCC and Clang check the arguments of WriteLog and WriteSilent against the format
 * (argument 1 is the object, 2 the format); GCC for Windows with Microsoft's
 * conversions. MSVC's /analyze checks them where <sal.h> came in before this header. */
#if defined(__GNUC__) || defined(__clang__)
#  if defined(_WIN32) && !defined(__clang__)
#    define QUILLWORK_FORMAT_CHECK __attribute__((format(ms_printf, 2, 3)))
#  else
#    define QUILLWORK_FORMAT_CHECK __attribute__((format(printf, 2, 3)))
#  endif
#else
#  define QUILLWORK_FORMAT_CHECK
#endif
#if defined(_Printf_format_string_)
#  define QUILLWORK_FORMAT_STRING _Printf_format_string_
#else
#  define QUILLWORK_FORMAT_STRING
#endif

/* The interface's BOOL: a 32-bit signed integer, whatever BOOL means to the host.
 * TRUE is exactly 1; every operation but Open returns TRUE whether or not it wrote
 * anything, Open FALSE when no file is open. */
typedef int QWBOOL;

/* BOOL for hosts that have none. <windows.h> before this header, or a host's own
 * BOOL macro, keeps its BOOL; <windows.h> after it repeats the same typedef. A host
 * whose own BOOL typedef is not int defines QUILLWORK_NO_BOOL before the include. */
#if !defined(BOOL) && !defined(_WINDEF_) && !defined(_MINWINDEF_) && !defined(QUILLWORK_NO_BOOL)
typedef int BOOL;
#endif

/* The interface declares no destructor on purpose (see below): compilers that warn
 * about that are told so here, which changes nothing in the binary interface. */
#if defined(__clang__)
#  pragma clang diagnostic push
#  pragma clang diagnostic ignored "-Wnon-virtual-dtor"
#elif defined(__GNUC__)
#  pragma GCC diagnostic push
#  pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
#elif defined(_MSC_VER)
#  pragma warning(push)
#  pragma warning(disable: 4265)
#endif

/* The log object. Seven operations in fixed slot order; no destructor:
 * a host never deletes the object, it calls Release. On 32-bit Windows the
 * fixed-argument operations are __thiscall and the two variadic ones __cdecl,
 * as MSVC and MinGW both compile this class; a C host lays out the same table. */
class ILogObject
{
public:
    /* Opens <day folder>/HHMMSS_name.log for appending; TRUE when a file is open after the call. */
    virtual QWBOOL Open(const char* pszName) = 0;
    /* Closes the file and switches the console mirror off. Always TRUE. */
    virtual QWBOOL Close() = 0;
    /* Switches the console mirror on (non-zero) or off (zero). Always TRUE. */
    virtual QWBOOL ShowConsole(QWBOOL bShow) = 0;
    /* Closes any open file and destroys the object; the pointer is dead after. */
    virtual void Release() = 0;
    /* Writes one stamped entry "YYYY-MM-DD HH:MM:SS  message" and an empty line. */
    virtual QWBOOL WriteLog(QUILLWORK_FORMAT_STRING const char* pszFormat, ...) QUILLWORK_FORMAT_CHECK = 0;
    /* Accepts the same arguments as WriteLog and records nothing. */
    virtual QWBOOL WriteSilent(QUILLWORK_FORMAT_STRING const char* pszFormat, ...) QUILLWORK_FORMAT_CHECK = 0;
    /* Dumps nSize bytes, 16 a line, hex (bHex non-zero) or decimal; bOut picks "-->" or "<--". */
    virtual QWBOOL WriteHex(const unsigned char* pData, unsigned int nSize, QWBOOL bOut, QWBOOL bHex) = 0;
};

#if defined(__clang__)
#  pragma clang diagnostic pop
#elif defined(__GNUC__)
#  pragma GCC diagnostic pop
#elif defined(_MSC_VER)
#  pragma warning(pop)
#endif

/* nType 0 gives a new text log object (NULL if out of memory); any other type gives NULL. */
extern "C" QUILLWORK_API ILogObject* QUILLWORK_CALL CreateLogObject(int nType);

/* Type of CreateLogObject, for hosts that load the library at run time. */
typedef ILogObject* (QUILLWORK_CALL* PFN_CREATELOGOBJECT)(int nType);

#endif /* QUILLWORK_H */
