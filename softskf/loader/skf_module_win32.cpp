#include <windows.h>

#include "skf_module.h"

void* SkfModule::open_library(const std::string& path)
{
    int n = MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, nullptr, 0);
    std::wstring wide(n > 0 ? static_cast<std::size_t>(n) : 1, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, wide.data(), n);
    HMODULE library = LoadLibraryW(wide.c_str());
    if (!library) error_ = "LoadLibraryW failed with error " + std::to_string(GetLastError()) + " for " + path;
    return reinterpret_cast<void*>(library);
}

void* SkfModule::find_symbol(const char* name)
{
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library_), name));
}

void SkfModule::close_library() { FreeLibrary(static_cast<HMODULE>(library_)); }
