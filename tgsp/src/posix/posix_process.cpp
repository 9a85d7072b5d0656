// Last-error slot, process id and wide-string length, as Windows gives them.
#include <windows.h>

#include <unistd.h>

namespace {
thread_local DWORD lastError = ERROR_SUCCESS;
}

DWORD GetLastError(void) { return lastError; }

void SetLastError(DWORD code) { lastError = code; }

DWORD GetCurrentProcessId(void) { return static_cast<DWORD>(getpid()); }

int lstrlenW(LPCWSTR text)
{
    if (text == nullptr) return 0;
    int n = 0;
    while (text[n] != 0) ++n;
    return n;
}
