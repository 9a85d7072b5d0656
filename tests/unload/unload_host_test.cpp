// A host that loads the library by name, makes one call and unloads it, a
// thousand times over, as an application server does on every redeploy.
// Each unload must take the token library the call loaded with it and free
// everything the call left behind: the process does not grow, and under
// LeakSanitizer no block of the unloaded library is left.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "library.h"
#include "process_memory.h"
#include "temp_dir.h"
#include "token_vendor.h"

namespace {

int setting(const char* name, int fallback)
{
    const char* v = std::getenv(name);
    return v != nullptr && std::atoi(v) > 0 ? std::atoi(v) : fallback;
}

const char kSerial[] = "SN-U";
const char kPin[] = "111111";

std::string tokenWithOneCertificate()
{
    return tokenState({tokenDevice("dev", "Label-U", kSerial,
                                   {tokenApplication("app", kPin, {tokenContainer("c1", "sm2_zhang")})})});
}

struct Loaded {
    DscLibrary lib{};
    std::string path;  // the module's file, to tell whether it is still mapped
};

Loaded load()
{
    Loaded loaded;
    std::string error;
    EXPECT_TRUE(dsc_library_load(loaded.lib, error)) << error;
    if (loaded.lib.module != nullptr) loaded.path = dsc_platform_module_path(loaded.lib.module);
    return loaded;
}

// One cycle's call: a selection on the token, left selected, with the log
// on. So the unload has every kind of state to give back: the selected
// record and the token handles it holds, the token library, the log.
void selectWithLog(const DscLibrary& lib, const std::string& logPath)
{
    ASSERT_EQ(lib.Sgn_SetLog(logPath.c_str()), 0);
    std::vector<char> cert(8192, 0);
    ASSERT_EQ(lib.Sgn_SelectCertByKeySn(kSerial, cert.data(), static_cast<int>(cert.size())), 0);
    ASSERT_NE(cert[0], 0);
}

class UnloadHost : public ::testing::Test {
protected:
    RegisteredTokens tokens{tokenWithOneCertificate()};
    TempDir logDir;
};

// The module and the token library are gone after each unload (were either
// kept mapped, the next load would find the old state and nothing would be
// freed at all), and the process stays flat from cycle 100 to the last.
TEST_F(UnloadHost, EveryCycleUnloadsTheTokenLibraryAndTheProcessStaysFlat)
{
#if defined(__SANITIZE_ADDRESS__)
    // Freed blocks wait in AddressSanitizer's quarantine, so the process grows
    // however flat the library is; there LeakSanitizer checks at exit instead.
    const int cycles = setting("DSC_UNLOAD_CYCLES", 200);
    const bool measure = false;
#else
    const int cycles = setting("DSC_UNLOAD_CYCLES", 1000);
    const bool measure = true;
#endif
    const int warmUp = cycles / 10;
    const std::string& vendor = tokens.vendor(0).path();
    size_t atWarmUp = 0;
    for (int i = 1; i <= cycles; ++i) {
        Loaded loaded = load();
        ASSERT_NE(loaded.lib.module, nullptr);
        selectWithLog(loaded.lib, logDir.file("unload.log"));
        ASSERT_TRUE(moduleIsLoaded(vendor)) << "cycle " << i;
        dsc_platform_close(loaded.lib.module);
        ASSERT_FALSE(moduleIsLoaded(vendor)) << "the token library is still loaded after unload " << i;
        ASSERT_FALSE(loaded.path.empty());
        ASSERT_FALSE(moduleIsLoaded(loaded.path)) << "the library itself stayed loaded after unload " << i;
        if (i == warmUp) atWarmUp = process_private_bytes();
    }
    if (!measure) return;
    size_t atEnd = process_private_bytes();
    std::printf("after cycle %d: %zu KiB, after cycle %d: %zu KiB\n", warmUp, atWarmUp / 1024, cycles,
                atEnd / 1024);
    // A leak of 1 KiB a cycle adds 900 KiB over the measured cycles; 256 KiB
    // leaves room for the allocator's and the loader's own page-sized noise.
    EXPECT_LE(atEnd, atWarmUp + 256 * 1024) << "grew " << (atEnd - atWarmUp) / 1024 << " KiB";
}

}  // namespace
