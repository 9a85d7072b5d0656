#include <windows.h>

#include <string>

#include "temp_dir.h"
#include "test_registry.h"

namespace {

const wchar_t* const kTrees[][2] = {
    {L"SOFTWARE", L"TARNO_II"},
    {L"SOFTWARE\\Microsoft\\Cryptography\\Defaults\\Provider", L"HS"},
};

void deleteTrees(REGSAM view)
{
    for (const auto& tree : kTrees) {
        HKEY parent = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, tree[0], 0, KEY_ALL_ACCESS | view, &parent) != ERROR_SUCCESS) continue;
        RegDeleteTreeW(parent, tree[1]);
        RegCloseKey(parent);
    }
}

// reg.exe reads UTF-16LE with a BOM whatever the code page.
std::string utf16File(const std::string& utf8)
{
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
    std::string bytes("\xFF\xFE", 2);
    bytes.append(reinterpret_cast<const char*>(wide.data()), wide.size() * sizeof(wchar_t));
    return bytes;
}

void importInto(const std::string& regText, int bits)
{
    TempDir dir;
    dir.write("fixture.reg", utf16File(regText));
    int n = MultiByteToWideChar(CP_ACP, 0, dir.file("fixture.reg").c_str(), -1, nullptr, 0);
    std::wstring file(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, dir.file("fixture.reg").c_str(), -1, file.data(), n);
    std::wstring command = L"reg.exe import \"" + std::wstring(file.c_str()) + L"\" " +
                           (bits == 64 ? L"/reg:64" : L"/reg:32");
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return;
    WaitForSingleObject(pi.hProcess, INFINITE);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
}

}  // namespace

void test_registry_clear()
{
    deleteTrees(KEY_WOW64_32KEY);
    deleteTrees(KEY_WOW64_64KEY);
}

void test_registry_install(const std::string& regText)
{
    test_registry_clear();
    importInto(regText, sizeof(void*) * 8);
}

bool test_registry_installInView(const std::string& regText, int bits)
{
    importInto(regText, bits);
    return true;
}

#include "test_platform.h"

const char* const kSystemLibrary = "kernel32.dll";
const char* const kSystemLibrarySymbol = "GetCurrentProcessId";

#include "skfapi.h"
#include "token_vendor.h"

bool moduleIsLoaded(const std::string& path) { return GetModuleHandleA(path.c_str()) != nullptr; }

bool listDevicesAndUnload(const std::string& path)
{
    HMODULE module = LoadLibraryA(path.c_str());
    if (module == nullptr) return false;
    if (auto enumDev = reinterpret_cast<decltype(&SKF_EnumDev)>(
            reinterpret_cast<void (*)(void)>(GetProcAddress(module, "SKF_EnumDev")))) {
        char names[256] = {0};
        SKF_ULONG size = sizeof names;
        enumDev(TRUE, names, &size);
    }
    FreeLibrary(module);
    return true;
}

void* tokenModuleFunction(const std::string& path, const char* name)
{
    HMODULE module = LoadLibraryA(path.c_str());
    return module != nullptr ? reinterpret_cast<void*>(GetProcAddress(module, name)) : nullptr;
}

std::string libraryFileName(const std::string& stem) { return stem + ".dll"; }
