// The whole select-and-sign road through dsc_jna_v3.dll under Wine, timed
// inside one process: the DLL is loaded by name as a JNA host loads it, then
// for each size Sgn_SelectCertByKeySn + Sgn_Sign (attached) on a registered
// token, repeated. Between the timed signatures it hashes the same data
// with SM3 alone, through the token library the DLL signs with (the limit of
// the road: hashing the data once). Prints one line per size:
// "BYTES MEDIAN_MS PAGE_FAULTS_PER_SIGNATURE SM3_MEDIAN_MS". Built by both
// Windows presets, so the same program times the 32-bit and the x64 DLL.
//   road_wine.exe KEY_SN PIN TOKEN_DLL [REPETITIONS]
#include <windows.h>
// After windows.h: the process counters.
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "skfapi.h"

namespace {

using SelectFn = int (*)(const char*, char*, int);
using SignFn = char* (*)(const unsigned char*, int, int, const char*);
using FreeFn = void (*)(void*);

double nowMs()
{
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return 1000.0 * static_cast<double>(t.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// The Linux process Wine runs this program in: the one under /proc whose
// first argument names this program. (Z:\\proc\\self would be wineserver,
// which opens files for Wine.) Empty when none is found.
std::string linuxProcessDir()
{
    char module[MAX_PATH] = {0};
    GetModuleFileNameA(nullptr, module, MAX_PATH);
    const char* slash = std::strrchr(module, '\\');
    const std::string name = slash != nullptr ? slash + 1 : module;
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA("Z:\\proc\\*", &entry);
    if (find == INVALID_HANDLE_VALUE) return {};
    std::string found;
    do {
        if (entry.cFileName[0] < '0' || entry.cFileName[0] > '9') continue;
        std::string dir = std::string("Z:\\proc\\") + entry.cFileName;
        FILE* cmdline = std::fopen((dir + "\\cmdline").c_str(), "rb");
        if (cmdline == nullptr) continue;
        char first[MAX_PATH] = {0};
        std::fread(first, 1, sizeof first - 1, cmdline);
        std::fclose(cmdline);
        std::string program = first;  // up to the first NUL: the first argument
        size_t cut = program.find_last_of("/\\");
        if (cut != std::string::npos) program.erase(0, cut + 1);
        if (_stricmp(program.c_str(), name.c_str()) == 0) found = dir;
    } while (found.empty() && FindNextFileA(find, &entry));
    FindClose(find);
    return found;
}

// The process's page faults. Wine leaves the Windows counter at zero; there
// the Linux process's own count of minor faults is read through drive Z:.
// Zero when neither is found (under a user-mode emulator the Linux process
// is the emulator's, which the search does not take for this program).
unsigned long pageFaults()
{
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters) && counters.PageFaultCount != 0)
        return counters.PageFaultCount;
    static const std::string dir = linuxProcessDir();
    unsigned long minorFaults = 0;
    FILE* stat = dir.empty() ? nullptr : std::fopen((dir + "\\stat").c_str(), "r");
    if (stat != nullptr) {
        // pid (comm) state ppid pgrp session tty tpgid flags minflt: the name
        // may hold blanks, so the fields are counted after its ')'.
        char line[1024] = {0};
        size_t n = std::fread(line, 1, sizeof line - 1, stat);
        std::fclose(stat);
        line[n] = 0;
        const char* after = std::strrchr(line, ')');
        if (after != nullptr) std::sscanf(after + 1, " %*c %*d %*d %*d %*d %*d %*u %lu", &minorFaults);
    }
    return minorFaults;
}

template <typename Function>
Function symbol(HMODULE module, const char* name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// SM3 alone over the data on the token's first device: what the DLL's
// SKF_Digest costs without anything else of the road.
class TokenSm3 {
public:
    explicit TokenSm3(const char* tokenDll)
    {
        HMODULE token = LoadLibraryA(tokenDll);
        if (token == nullptr) return;
        enumDev = symbol<decltype(&SKF_EnumDev)>(token, "SKF_EnumDev");
        connect = symbol<decltype(&SKF_ConnectDev)>(token, "SKF_ConnectDev");
        digestInit = symbol<decltype(&SKF_DigestInit)>(token, "SKF_DigestInit");
        digest = symbol<decltype(&SKF_Digest)>(token, "SKF_Digest");
        closeHandle = symbol<decltype(&SKF_CloseHandle)>(token, "SKF_CloseHandle");
        if (enumDev == nullptr || connect == nullptr || digestInit == nullptr || digest == nullptr ||
            closeHandle == nullptr)
            return;
        char names[1024] = {0};
        SKF_ULONG size = sizeof names;
        if (enumDev(TRUE, names, &size) != SAR_OK || names[0] == 0) return;
        connect(names, &device);
    }
    bool ready() const { return device != nullptr; }
    // Milliseconds, or a negative value when the token refused.
    double time(unsigned char* data, int size)
    {
        double start = nowMs();
        SKF_HANDLE hash = nullptr;
        unsigned char value[64];
        SKF_ULONG valueLen = sizeof value;
        bool hashed = digestInit(device, SGD_SM3, nullptr, nullptr, 0, &hash) == SAR_OK &&
                      digest(hash, data, static_cast<SKF_ULONG>(size), value, &valueLen) == SAR_OK;
        double elapsed = nowMs() - start;
        if (hash != nullptr) closeHandle(hash);
        return hashed ? elapsed : -1;
    }

private:
    decltype(&SKF_EnumDev) enumDev = nullptr;
    decltype(&SKF_ConnectDev) connect = nullptr;
    decltype(&SKF_DigestInit) digestInit = nullptr;
    decltype(&SKF_Digest) digest = nullptr;
    decltype(&SKF_CloseHandle) closeHandle = nullptr;
    DEVHANDLE device = nullptr;
};

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: road_wine.exe KEY_SN PIN TOKEN_DLL [REPETITIONS]\n");
        return 2;
    }
    const int reps = argc > 4 ? std::max(1, std::atoi(argv[4])) : 5;
    HMODULE dll = LoadLibraryW(L"dsc_jna_v3.dll");
    if (dll == nullptr) {
        std::fprintf(stderr, "cannot load dsc_jna_v3.dll (error %lu)\n", GetLastError());
        return 1;
    }
    auto select = reinterpret_cast<SelectFn>(reinterpret_cast<void*>(GetProcAddress(dll, "Sgn_SelectCertByKeySn")));
    auto sign = reinterpret_cast<SignFn>(reinterpret_cast<void*>(GetProcAddress(dll, "Sgn_Sign")));
    auto release = reinterpret_cast<FreeFn>(reinterpret_cast<void*>(GetProcAddress(dll, "Sgn_Free")));
    if (select == nullptr || sign == nullptr || release == nullptr) {
        std::fprintf(stderr, "dsc_jna_v3.dll lacks an export\n");
        return 1;
    }
    TokenSm3 sm3(argv[3]);
    if (!sm3.ready()) {
        std::fprintf(stderr, "cannot hash on the token of %s\n", argv[3]);
        return 1;
    }
    std::vector<char> cert(16384);
    for (int size : {1 << 10, 1 << 20, 16 << 20, 64 << 20}) {
        std::vector<unsigned char> data(static_cast<size_t>(size));
        for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<unsigned char>(i * 131 + 7);
        std::vector<double> times, sm3Times;
        unsigned long faults = 0;
        for (int r = 0; r < reps; ++r) {
            unsigned long faultsBefore = pageFaults();
            double start = nowMs();
            int rc = select(argv[1], cert.data(), static_cast<int>(cert.size()));
            char* text = rc == 0 ? sign(data.data(), size, 1, argv[2]) : nullptr;
            double elapsed = nowMs() - start;
            bool signedOk = text != nullptr && text[0] != '-' && text[0] != '\0';
            if (!signedOk) {
                std::fprintf(stderr, "select %d, sign %s\n", rc, text != nullptr ? text : "(no result)");
                if (text != nullptr) release(text);
                return 1;
            }
            release(text);
            faults += pageFaults() - faultsBefore;
            times.push_back(elapsed);
            double sm3Ms = sm3.time(data.data(), size);
            if (sm3Ms < 0) {
                std::fprintf(stderr, "SM3 alone on the token failed\n");
                return 1;
            }
            sm3Times.push_back(sm3Ms);
        }
        // "-" where the faults could not be counted.
        char faultsText[32] = "-";
        if (pageFaults() != 0) std::snprintf(faultsText, sizeof faultsText, "%.0f", static_cast<double>(faults) / reps);
        std::printf("%d %.3f %s %.3f\n", size, median(times), faultsText, median(sm3Times));
    }
    return 0;
}
