#include <windows.h>

#include "test_process.h"

namespace {

std::wstring widen(const std::string& s)
{
    int n = MultiByteToWideChar(CP_UTF8, 0, s.c_str(), -1, nullptr, 0);
    std::wstring w(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.c_str(), -1, w.data(), n);
    w.resize(w.size() - 1);
    return w;
}

// The quoting rules of CommandLineToArgvW / the C runtime.
void append_quoted(std::wstring& line, const std::wstring& arg)
{
    line += L" \"";
    std::size_t slashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++slashes;
            continue;
        }
        line.append(c == L'"' ? slashes * 2 + 1 : slashes, L'\\');
        slashes = 0;
        line += c;
    }
    line.append(slashes * 2, L'\\');
    line += L'"';
}

}  // namespace

int run_self(const std::vector<std::string>& args)
{
    wchar_t self[MAX_PATH * 4];
    DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH * 4);
    if (n == 0 || n >= MAX_PATH * 4) return -1;
    std::wstring line = L"\"" + std::wstring(self) + L"\"";
    for (const std::string& a : args) append_quoted(line, widen(a));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(self, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) return -1;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(code);
}
