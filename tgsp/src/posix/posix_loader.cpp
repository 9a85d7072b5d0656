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

BOOL GetModuleHandleExW(DWORD flags, LPCWSTR moduleName, HMODULE* module)
{
    if (module != nullptr) *module = nullptr;
    Dl_info info{};
    if ((flags & GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS) == 0 || dladdr(moduleName, &info) == 0 ||
        info.dli_fname == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    int mode = RTLD_NOW | RTLD_NOLOAD;
    if ((flags & GET_MODULE_HANDLE_EX_FLAG_PIN) != 0) mode |= RTLD_NODELETE;
    void* handle = dlopen(info.dli_fname, mode);
    if (handle == nullptr) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return FALSE;
    }
    // Windows hands out no reference with this form when pinning; dlopen
    // counted one, so give it back (the module stays: it is pinned).
    if ((flags & GET_MODULE_HANDLE_EX_FLAG_PIN) != 0) dlclose(handle);
    if (module != nullptr) *module = static_cast<HMODULE>(handle);
    return TRUE;
}

HMODULE LoadLibraryW(LPCWSTR path)
{
    return posix_noThrow([&] { return LoadLibraryWImpl(path); });
}
