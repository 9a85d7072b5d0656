// LoadLibraryW / GetProcAddress / FreeLibrary over dlopen. Paths reach the
// file system as UTF-8, the encoding Linux file names are written in.
#include <windows.h>

#include "posix_nothrow.h"

#include <dlfcn.h>

#include <string>

#include "posix_utf.h"

static HMODULE LoadLibraryWImpl(LPCWSTR path)
{
    if (path == nullptr || path[0] == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::string file = posix_wideToUtf8(path, lstrlenW(path));
    void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    return static_cast<HMODULE>(handle);
}

FARPROC GetProcAddress(HMODULE module, LPCSTR name)
{
    if (module == nullptr || name == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    void* symbol = dlsym(module, name);
    if (symbol == nullptr) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<FARPROC>(symbol);
}

BOOL FreeLibrary(HMODULE module)
{
    if (module == nullptr || dlclose(module) != 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

HMODULE LoadLibraryW(LPCWSTR path)
{
    return posix_noThrow([&] { return LoadLibraryWImpl(path); });
}
