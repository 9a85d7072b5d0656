// A host that unloads the library while a token call it gave up on still
// runs in a token library. That call's thread runs the library's own code
// when the token answers at last, so neither the library nor the token
// library may go away under it: both stay loaded, the late answer is
// discarded, and the library keeps working. A process of its own, since
// the library then stays loaded for the rest of it.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

// <windows.h> before the SKF header, which defines TRUE and FALSE only if
// it has not.
#if defined(_WIN32)
#include <windows.h>
#endif

#include "library.h"
#include "softskf_hooks.h"
#include "temp_dir.h"
#include "token_vendor.h"

namespace {

std::string token(const std::vector<std::string>& faults)
{
    return tokenState({tokenDevice("dev", "Label-H", "SN-H",
                                   {tokenApplication("app", "111111", {tokenContainer("c1", "sm2_zhang")})})},
                      faults);
}

std::string fileText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

TEST(HungCallHost, AnUnloadWhileAGivenUpCallRunsLeavesBothLibrariesLoaded)
{
    RegisteredTokens tokens({token({tokenFault("SKF_EnumDev", "block")})},
                            skfSettings({"\"EnumTimeoutMs\"=dword:000005dc"}));
    const std::string vendor = tokens.vendor(0).path();
    auto release = reinterpret_cast<softskf_releaseBlocked_fn>(tokenModuleFunction(vendor, "softskf_releaseBlocked"));
    auto blocked = reinterpret_cast<softskf_blockedCalls_fn>(tokenModuleFunction(vendor, "softskf_blockedCalls"));
    ASSERT_NE(release, nullptr);
    TempDir logDir;
    const std::string log = logDir.file("hung.log");

    DscLibrary lib{};
    std::string error;
    ASSERT_TRUE(dsc_library_load(lib, error)) << error;
    const std::string self = dsc_platform_module_path(lib.module);
    ASSERT_EQ(lib.Sgn_SetLog(log.c_str()), 0);
    char names[256] = {0};
    EXPECT_LT(lib.Sgn_Dev_Enum("|", names, sizeof names), 0);  // the only token did not answer
    EXPECT_EQ(blocked(), 1u);

    dsc_platform_close(lib.module);
    EXPECT_TRUE(moduleIsLoaded(self)) << "the library went away under its own thread";
    EXPECT_TRUE(moduleIsLoaded(vendor)) << "the token library went away under its call";

    // The token answers: the late walk ends in the library's code, which is
    // still there, and its answer is discarded into the log.
    EXPECT_EQ(release(), 1u);
    bool discarded = false;
    for (int i = 0; i < 2000 && !discarded; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        discarded = fileText(log).find("was discarded") != std::string::npos;
    }
    EXPECT_TRUE(discarded) << fileText(log);

    // A new load finds the library as it was, and the token answers now.
    DscLibrary again{};
    ASSERT_TRUE(dsc_library_load(again, error)) << error;
    EXPECT_EQ(again.Sgn_Dev_Enum("|", names, sizeof names), 0);
    EXPECT_STREQ(names, "Label-H");
    dsc_platform_close(again.module);
}
