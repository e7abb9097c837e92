// What the POSIX files of the seam share about the log file's live mark.
#ifndef QUILLWORK_POSIXAPPEND_H
#define QUILLWORK_POSIXAPPEND_H

// Takes, on fd (a log opened for reading), a read lock over the range where
// writers mark a log as live. TRUE when it holds it: no writer has the file
// open now, and none can mark it until fd is closed (a writer opening it
// meanwhile waits, then finds its name gone once cleaning removed it). FALSE
// when a writer holds it open, or when the file system keeps no such locks.
bool QwLockOutWriters(int fd);

#endif
