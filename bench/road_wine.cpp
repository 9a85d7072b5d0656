// The whole select-and-sign road through dsc_jna_v3.dll under Wine, timed
// inside one process: the DLL is loaded by name as a JNA host loads it, then
// for each size Sgn_SelectCertByKeySn + Sgn_Sign (attached) on a registered
// token, repeated. Prints one line per size: "BYTES MEDIAN_MS". Built by both
// Windows presets, so the same program times the 32-bit and the x64 DLL.
//   road_wine.exe KEY_SN PIN [REPETITIONS]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

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

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: road_wine.exe KEY_SN PIN [REPETITIONS]\n");
        return 2;
    }
    const int reps = argc > 3 ? std::max(1, std::atoi(argv[3])) : 5;
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
    std::vector<char> cert(16384);
    for (int size : {1 << 10, 1 << 20, 16 << 20}) {
        std::vector<unsigned char> data(static_cast<size_t>(size));
        for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<unsigned char>(i * 131 + 7);
        std::vector<double> times;
        for (int r = 0; r < reps; ++r) {
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
            times.push_back(elapsed);
        }
        std::sort(times.begin(), times.end());
        std::printf("%d %.3f\n", size, times[times.size() / 2]);
    }
    return 0;
}
