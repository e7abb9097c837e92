// CForkGuard: the log objects of the process, so that a child made by fork()
// finds every lock of the library free. Before a fork the forking thread takes
// the lock of every object (waiting for the entries under way to be written)
// and the process-wide locks of the log folders; after it, parent and child
// give them back. A child may then use every object it inherited: its entries
// go, whole, into the same files.
#ifndef QUILLWORK_FORKGUARD_H
#define QUILLWORK_FORKGUARD_H

class CTxtLog;

class CForkGuard
{
public:
    // pLog is made (Add) or about to be ended (Remove); neither holds its lock.
    // Add installs the fork handlers the first time. Add throws std::bad_alloc
    // when there is no memory to note the object.
    static void Add(CTxtLog* pLog);
    static void Remove(CTxtLog* pLog);

private:
    static void Prepare();
    static void Resume();
    static void ResumeChild();
    static void ResumeWith(bool bChild);
};

#endif
