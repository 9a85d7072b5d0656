// Linux stand-in for the part of <windows.h> the library uses.
//
// The library's modules are written once against the Windows services; on
// Linux this folder provides the same calls with the same observable results
// (return values, last-error codes, buffer rules). Wide texts are wchar_t.
#pragma once

// The signing client reaches the platform only through twcyt and tcore: its
// build defines DSC_NO_PLATFORM_HEADERS, so a platform header that reaches
// it, directly or through another layer's header, stops the build.
#ifdef DSC_NO_PLATFORM_HEADERS
#error "a platform header reached a layer that must not see one"
#endif

#include <pthread.h>

#include <cstddef>
#include <cstdint>

typedef uint32_t DWORD;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef int BOOL;
typedef unsigned char BYTE;
typedef BYTE BOOLEAN;
typedef uint16_t WORD;
typedef unsigned int UINT;
typedef wchar_t WCHAR;
typedef char CHAR;
typedef void VOID;
typedef void* HANDLE;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef BYTE* LPBYTE;
typedef DWORD* LPDWORD;
typedef BOOL* LPBOOL;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef WCHAR* LPWSTR;
typedef const WCHAR* LPCWSTR;
typedef LONG LSTATUS;
typedef DWORD REGSAM;
typedef uintptr_t ULONG_PTR;

struct HKEY__;
typedef HKEY__* HKEY;
typedef HKEY* PHKEY;
struct HINSTANCE__;
typedef HINSTANCE__* HMODULE;
typedef HMODULE HINSTANCE;
typedef void (*FARPROC)(void);

typedef struct _FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
} FILETIME, *PFILETIME, *LPFILETIME;

typedef struct _SYSTEMTIME {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
} SYSTEMTIME, *PSYSTEMTIME, *LPSYSTEMTIME;

#define WINAPI
#define TRUE 1
#define FALSE 0

#define HKEY_CLASSES_ROOT ((HKEY)(ULONG_PTR)0x80000000u)
#define HKEY_CURRENT_USER ((HKEY)(ULONG_PTR)0x80000001u)
#define HKEY_LOCAL_MACHINE ((HKEY)(ULONG_PTR)0x80000002u)
#define HKEY_USERS ((HKEY)(ULONG_PTR)0x80000003u)

#define KEY_QUERY_VALUE 0x0001
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_WOW64_64KEY 0x0100
#define KEY_WOW64_32KEY 0x0200
#define KEY_READ 0x20019

#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_MULTI_SZ 7
#define REG_QWORD 11

#define CP_ACP 0
#define CP_UTF8 65001

#define ERROR_SUCCESS 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_INSUFFICIENT_BUFFER 122L
#define ERROR_MOD_NOT_FOUND 126L
#define ERROR_PROC_NOT_FOUND 127L
#define ERROR_MORE_DATA 234L
#define ERROR_NO_MORE_ITEMS 259L
#define ERROR_NO_UNICODE_TRANSLATION 1113L

// Process and thread
DWORD GetLastError(void);
void SetLastError(DWORD code);
DWORD GetCurrentProcessId(void);
DWORD GetCurrentThreadId(void);
int lstrlenW(LPCWSTR text);

// Time (UTC; FILETIME counts 100 ns since 1601-01-01)
void GetSystemTimeAsFileTime(LPFILETIME now);
BOOL FileTimeToSystemTime(const FILETIME* fileTime, LPSYSTEMTIME systemTime);
// The local time, safe to call from any thread.
void GetLocalTime(LPSYSTEMTIME now);

// Slim reader/writer lock, used exclusively. SRWLOCK_INIT makes it a constant
// initialiser: nothing to create at load or to destroy at unload.
typedef struct {
    pthread_mutex_t mutex;
} SRWLOCK, *PSRWLOCK;
#define SRWLOCK_INIT                                                                                                   \
    {                                                                                                                  \
        PTHREAD_MUTEX_INITIALIZER                                                                                      \
    }
void AcquireSRWLockExclusive(PSRWLOCK lock);
void ReleaseSRWLockExclusive(PSRWLOCK lock);
// Takes the lock when it is free, without waiting: nonzero when taken.
BOOLEAN TryAcquireSRWLockExclusive(PSRWLOCK lock);

// Code pages
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR src, int srcLen, LPWSTR dst, int dstLen);
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR src, int srcLen, LPSTR dst, int dstLen, LPCSTR defaultChar,
                        LPBOOL usedDefaultChar);

// Registry (read-only view over .reg files)
LSTATUS RegOpenKeyExW(HKEY root, LPCWSTR subKey, DWORD options, REGSAM access, PHKEY result);
LSTATUS RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD dataSize);
LSTATUS RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, LPDWORD nameLen, LPDWORD reserved, LPWSTR className,
                      LPDWORD classLen, PFILETIME lastWriteTime);
LSTATUS RegCloseKey(HKEY key);

// Loader
HMODULE LoadLibraryW(LPCWSTR path);
FARPROC GetProcAddress(HMODULE module, LPCSTR name);
BOOL FreeLibrary(HMODULE module);
// Only the form that finds the module holding an address and, with PIN,
// keeps it loaded for good (dlopen's RTLD_NODELETE).
#define GET_MODULE_HANDLE_EX_FLAG_PIN 0x1
#define GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS 0x4
BOOL GetModuleHandleExW(DWORD flags, LPCWSTR moduleName, HMODULE* module);
