/* The log object as a host written in C sees it: a pointer to a table of seven
 * function pointers, laid out by hand in slot order. On 32-bit Windows the five
 * slots with fixed arguments are __thiscall (the object in ECX, the callee pops
 * its arguments) and the two variadic ones __cdecl; x64 and Linux have one
 * convention. Includes nothing, so it also compiles for targets without a C library. */
#ifndef QW_LOG_TABLE_H
#define QW_LOG_TABLE_H

#if !defined(_WIN32)
#  define __thiscall
#  define __cdecl
#endif

typedef int QW_BOOL;
struct QwLogObject;

typedef struct QwLogTable
{
    QW_BOOL (__thiscall* Open)(struct QwLogObject* pThis, const char* pszName);
    QW_BOOL (__thiscall* Close)(struct QwLogObject* pThis);
    QW_BOOL (__thiscall* ShowConsole)(struct QwLogObject* pThis, QW_BOOL bShow);
    void (__thiscall* Release)(struct QwLogObject* pThis);
    QW_BOOL (__cdecl* WriteLog)(struct QwLogObject* pThis, const char* pszFormat, ...);
    QW_BOOL (__cdecl* WriteSilent)(struct QwLogObject* pThis, const char* pszFormat, ...);
    QW_BOOL (__thiscall* WriteHex)(struct QwLogObject* pThis, const unsigned char* pData, unsigned int nSize,
                                   QW_BOOL bOut, QW_BOOL bHex);
} QwLogTable;

typedef struct QwLogObject
{
    const QwLogTable* pTable;
} QwLogObject;

typedef QwLogObject* (__cdecl* PFN_QW_CREATE)(int nType);

/* One call the host made and what it returned. */
typedef struct QwStep
{
    const char* pszWhat;
    long nGot;
    long nWant;
} QwStep;

/* Waits nSeconds with the console up (the host gives it; 0 waits not at all). */
typedef void (*PFN_QW_HOLD)(unsigned int nSeconds);

/* Drives every operation through the table and records each result in pSteps
 * (room for QW_MAX_STEPS). Returns the number of steps recorded. */
#define QW_MAX_STEPS 24
int QwDrive(PFN_QW_CREATE pfnCreate, PFN_QW_HOLD pfnHold, unsigned int nHold, QwStep* pSteps);

#endif
