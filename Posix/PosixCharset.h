// The charset a terminal or standard error of this process reads, for the
// POSIX files that show logged text (the mirror and the developer channel).
#ifndef QUILLWORK_POSIXCHARSET_H
#define QUILLWORK_POSIXCHARSET_H

// True when the reader of the process's text reads UTF-8: the host's locale
// says so (after its setlocale), or the first of LC_ALL, LC_CTYPE and LANG that
// is set does. Else it is taken to read a single-byte charset, where every byte
// 0x80 to 0x9F is a C1 control. A privileged process reads no environment here.
bool QwReadsUtf8();

#endif
