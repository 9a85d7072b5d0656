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

#include "fixtures.h"
#include "library.h"
#include "process_memory.h"
#include "temp_dir.h"
#include "token_vendor.h"
#ifndef _WIN32
#include <filesystem>

#include "scoped_env.h"
#endif

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
    return tokenState(
        {tokenDevice("dev", "Label-U", kSerial, {tokenApplication("app", kPin, {tokenContainer("c1", "sm2_zhang")})})});
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
// record and the token handles it holds, the token library, the log, and
// on Linux the store files read.
void selectWithLog(const DscLibrary& lib, const std::string& logPath)
{
    ASSERT_EQ(lib.Sgn_SetLog(logPath.c_str()), 0);
    std::vector<char> cert(8192, 0);
#ifndef _WIN32
    // A search by DN reads the stores too; it names no certificate.
    ASSERT_NE(lib.Sgn_SelectCertByDn("DN", "CN=nobody here", cert.data()), 0);
#endif
    ASSERT_EQ(lib.Sgn_SelectCertByKeySn(kSerial, cert.data(), static_cast<int>(cert.size())), 0);
    ASSERT_NE(cert[0], 0);
}

class UnloadHost : public ::testing::Test {
protected:
#ifndef _WIN32
    // A store with a certificate, so each selection also leaves the store
    // files it decoded for the unload to free. (Windows stores are the
    // system's, and nothing of them is kept.)
    void SetUp() override
    {
        std::filesystem::create_directories(stores.file("MY"));
        stores.write("MY/store.cer", fixture("certs/sm2_sign.der"));
    }
    TempDir stores;
    ScopedEnv storesSetting{"DSC_JNA_STORES", stores.path().c_str()};
#endif

    RegisteredTokens tokens{tokenWithOneCertificate()};
    TempDir logDir;
};

// How much the process grew from the tenth of `cycles` runs of `cycle` to
// the last (the first tenth warms the allocator up); 0 when it shrank.
template <class Cycle>
size_t growthOver(int cycles, Cycle cycle)
{
    size_t atWarmUp = 0;
    for (int i = 1; i <= cycles && !::testing::Test::HasFatalFailure(); ++i) {
        cycle(i);
        if (i == cycles / 10) atWarmUp = process_private_bytes();
    }
    EXPECT_GT(atWarmUp, 0u) << "the process's memory cannot be read";
    size_t atEnd = process_private_bytes();
    return atEnd > atWarmUp ? atEnd - atWarmUp : 0;
}

// The number of cycles: a thousand natively, fewer where each is slow.
int cycleCount()
{
#if defined(__SANITIZE_ADDRESS__) || defined(_WIN32)
    return setting("DSC_UNLOAD_CYCLES", 100);  // under Wine a quarter of a second each
#else
    return setting("DSC_UNLOAD_CYCLES", 1000);
#endif
}

// One load, call and unload: the module and the token library are gone
// after the unload (were either kept mapped, the next load would find the
// old state and nothing would be freed at all).
void selectAndUnload(int cycle, const std::string& vendor, const std::string& logPath)
{
    Loaded loaded = load();
    ASSERT_NE(loaded.lib.module, nullptr);
    selectWithLog(loaded.lib, logPath);
    ASSERT_TRUE(moduleIsLoaded(vendor)) << "cycle " << cycle;
    dsc_platform_close(loaded.lib.module);
    ASSERT_FALSE(moduleIsLoaded(vendor)) << "the token library is still loaded after unload " << cycle;
    ASSERT_FALSE(loaded.path.empty());
    ASSERT_FALSE(moduleIsLoaded(loaded.path)) << "the library itself stayed loaded after unload " << cycle;
}

// Under LeakSanitizer this is also the leak test: blocks the library left
// behind are reported at exit.
TEST_F(UnloadHost, EveryUnloadTakesTheTokenLibraryAlong)
{
    const int cycles = cycleCount();
    for (int i = 1; i <= cycles && !HasFatalFailure(); ++i)
        selectAndUnload(i, tokens.vendor(0).path(), logDir.file("unload.log"));
}

// The process does not grow from the cycles' first tenth to the last by
// more than loading the two modules costs without the library's call: the
// run-time each module carries may keep a little at each load, which no
// module can give back.
TEST_F(UnloadHost, TheProcessStaysFlat)
{
#if defined(__SANITIZE_ADDRESS__)
    // Freed blocks wait in AddressSanitizer's quarantine, so the process grows
    // however flat the library is; there LeakSanitizer checks at exit instead.
    GTEST_SKIP() << "resident size is not a measure of leaks under AddressSanitizer";
#elif defined(_WIN32)
    // Under Wine a load with a selection and its unload still grow the commit
    // charge by 70 to 130 KiB that is not yet accounted for (a bare load and
    // unload of both modules costs 4 to 20 KiB, one with Sgn_Dev_Enum no more),
    // and a run of a few hundred cycles can end the process.
    GTEST_SKIP() << "the Windows figure is not flat yet";
#endif
    const int cycles = cycleCount();
    const std::string& vendor = tokens.vendor(0).path();
    size_t modulesAlone = growthOver(cycles, [&](int) {
        Loaded loaded = load();
        dsc_platform_close(loaded.lib.module);
        ASSERT_TRUE(listDevicesAndUnload(vendor));
    });
    size_t withCalls = growthOver(cycles, [&](int i) { selectAndUnload(i, vendor, logDir.file("unload.log")); });
    std::printf("%d cycles: the modules alone grew the process by %zu KiB, with a call each by %zu KiB\n", cycles,
                modulesAlone / 1024, withCalls / 1024);
    // A leak of 1 KiB a cycle adds 900 KiB over the 900 cycles measured
    // natively; 256 KiB leaves room for the allocator's page-sized noise.
    EXPECT_LE(withCalls, modulesAlone + 256 * 1024);
}

}  // namespace
