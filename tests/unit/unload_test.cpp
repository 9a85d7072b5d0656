// The module's unload frees what the library holds only when no call is
// running: a host thread still inside an export (here blocked in the token
// library) keeps its state and its token library, and an unload after the
// call has ended frees them. Loading and unloading the module itself is the
// unload host's test (tests/unload); this drives the unload step directly.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

// <windows.h> before the SKF header, which defines TRUE and FALSE only if
// it has not.
#include <windows.h>

#include "dsc_jna.h"
#include "dsc_jna_unload.h"
#include "selection_fixture.h"
#include "tcore_errors.h"
#include "token_vendor.h"
#include "softskf_hooks.h"

namespace {

class UnloadTest : public CleanSelection<::testing::Test> {};

std::string oneToken(const std::vector<std::string>& faults = {})
{
    return tokenState(
        {tokenDevice("dev", "Label", "SN1", {tokenApplication("app", "111111", {tokenContainer("c1", "sm2_zhang")})})},
        faults);
}

// The answer of Sgn_Sign as a text (a code or the signature), given back.
std::string signText()
{
    const unsigned char data[] = "data";
    char* text = Sgn_Sign(data, 4, 1, "111111");
    std::string out = text != nullptr ? text : "<null>";
    Sgn_Free(text);
    return out;
}

}  // namespace

TEST_F(UnloadTest, DuringACallNothingIsFreedAndAfterItTheSelectionIsGone)
{
    RegisteredTokens tokens({oneToken()});
    const TokenVendor& vendor = tokens.vendor(0);
    auto release = reinterpret_cast<softskf_releaseBlocked_fn>(
        tokenModuleFunction(vendor.path(), "softskf_releaseBlocked"));
    auto blocked = reinterpret_cast<softskf_blockedCalls_fn>(
        tokenModuleFunction(vendor.path(), "softskf_blockedCalls"));
    ASSERT_NE(release, nullptr);
    ASSERT_NE(blocked, nullptr);

    char out[4096] = {0};
    ASSERT_EQ(Sgn_SelectCertByKeySn("SN1", out, sizeof out), 0);
    vendor.setState(oneToken({tokenFault("SKF_EnumDev", "block")}));
    int enumAnswer = 1;
    std::thread inside([&] {
        char names[256] = {0};
        enumAnswer = Sgn_Dev_Enum("|", names, sizeof names);
    });
    for (int i = 0; i < 1000 && blocked() == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(blocked(), 1u);

    dsc_jna_unload();  // the thread is inside the token library

    EXPECT_EQ(release(), 1u);
    inside.join();
    EXPECT_EQ(enumAnswer, 0);
    vendor.setState(oneToken());
    // The selection made before survived the unload that came during the call.
    EXPECT_EQ(signText().substr(0, 1), "M");

    ASSERT_EQ(Sgn_SelectCertByKeySn("SN1", out, sizeof out), 0);
    dsc_jna_unload();  // no call is running now
    EXPECT_EQ(signText(), std::to_string(DSC_ACX_ERR_NO_CERT));
    // What was unloaded is loaded again by the next call.
    EXPECT_EQ(Sgn_SelectCertByKeySn("SN1", out, sizeof out), 0);
    EXPECT_EQ(signText().substr(0, 1), "M");
}
