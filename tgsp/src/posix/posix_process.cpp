// Last-error slot, process and thread ids and wide-string length, as Windows gives them.
#include <windows.h>

#include <sys/syscall.h>
#include <unistd.h>

namespace {
thread_local DWORD lastError = ERROR_SUCCESS;
}

DWORD GetLastError(void) { return lastError; }

void SetLastError(DWORD code) { lastError = code; }

DWORD GetCurrentProcessId(void) { return static_cast<DWORD>(getpid()); }

// The kernel's id of the thread: unique among the live threads of the
// process, as Windows' thread ids are.
DWORD GetCurrentThreadId(void) { return static_cast<DWORD>(syscall(SYS_gettid)); }

int lstrlenW(LPCWSTR text)
{
    if (text == nullptr) return 0;
    int n = 0;
    while (text[n] != 0) ++n;
    return n;
}
