// Windows: the module is dsc_jna_v3.dll; the copy beside this program wins,
// then the standard DLL search order applies.
#include <windows.h>

#include <string>

#include "library.h"

namespace {

const wchar_t kModuleName[] = L"dsc_jna_v3.dll";

std::wstring own_directory()
{
    wchar_t path[MAX_PATH + 1] = {};
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return {};
    std::wstring text(path, n);
    size_t slash = text.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : text.substr(0, slash + 1);
}

std::string last_error_text(DWORD code)
{
    char text[512] = {};
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                             sizeof text, nullptr);
    while (n > 0 && (text[n - 1] == '\r' || text[n - 1] == '\n' || text[n - 1] == ' ')) text[--n] = 0;
    return "error " + std::to_string(code) + (n ? ": " + std::string(text) : std::string());
}

}  // namespace

void* dsc_platform_open(std::string& error)
{
    std::wstring beside = own_directory() + kModuleName;
    if (GetFileAttributesW(beside.c_str()) != INVALID_FILE_ATTRIBUTES) {
        if (HMODULE module = LoadLibraryW(beside.c_str())) return module;
        error = "cannot load dsc_jna_v3.dll beside dsc-sign.exe (" + last_error_text(GetLastError()) + ")";
        return nullptr;
    }
    if (HMODULE module = LoadLibraryW(kModuleName)) return module;
    error = "cannot load dsc_jna_v3.dll (not beside dsc-sign.exe, nor on the DLL search path; " +
            last_error_text(GetLastError()) + ")";
    return nullptr;
}

void* dsc_platform_symbol(void* module, const char* name)
{
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}

void dsc_platform_close(void* module) { FreeLibrary(static_cast<HMODULE>(module)); }

std::string dsc_platform_module_path(void* module)
{
    wchar_t path[MAX_PATH + 1] = {};
    DWORD n = GetModuleFileNameW(static_cast<HMODULE>(module), path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return {};
    int bytes = WideCharToMultiByte(CP_UTF8, 0, path, static_cast<int>(n), nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<size_t>(bytes > 0 ? bytes : 0), '\0');
    if (bytes > 0) WideCharToMultiByte(CP_UTF8, 0, path, static_cast<int>(n), text.data(), bytes, nullptr, nullptr);
    return text;
}
