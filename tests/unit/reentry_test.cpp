// A token library that calls the library back from inside one of its own
// calls (a vendor's PIN dialog whose message loop runs the host's window
// procedure, or a library that simply calls an export) gets the re-entry
// code at once from every export, and the outer call goes on as if nothing
// happened. Without the check the thread would wait for itself forever.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <set>
#include <string>
#include <thread>
#include <vector>

// <windows.h> before the SKF header, which defines TRUE and FALSE only if
// it has not.
#include <windows.h>

#include "dsc_jna.h"
#include "fixtures.h"
#include "selection_fixture.h"
#include "tcore_errors.h"
#include "token_vendor.h"
#include "trace_capture.h"
#include "softskf_hooks.h"

namespace {

// Every SKF call the library makes on an SM2 token, from the walks to
// signing and changing the PIN.
const std::vector<std::string> kTokenCalls = {
    "SKF_EnumDev",          "SKF_ConnectDev",    "SKF_GetDevInfo",       "SKF_EnumApplication",   "SKF_OpenApplication",
    "SKF_EnumContainer",    "SKF_OpenContainer", "SKF_GetContainerType", "SKF_ExportCertificate", "SKF_CloseContainer",
    "SKF_CloseApplication", "SKF_DisConnectDev", "SKF_VerifyPIN",        "SKF_ExportPublicKey",   "SKF_DigestInit",
    "SKF_Digest",           "SKF_ECCSignData",   "SKF_ChangePIN"};

std::set<std::string> calledBackFrom;
std::vector<std::string> wrongAnswers;

void expectRefused(const char* from, const char* exportName, int answer)
{
    if (answer != DSC_JNA_ERR_REENTERED)
        wrongAnswers.push_back(std::string(from) + " -> " + exportName + ": " + std::to_string(answer));
}

// The token's callback: every export, from inside the token call.
void DEVAPI callEveryExport(const char* function)
{
    calledBackFrom.insert(function);
    char out[4096] = {0};
    const std::string cert = base64Of(fixture("certs/rsa_sign.der"));
    expectRefused(function, "Sgn_Dev_Enum", Sgn_Dev_Enum("|", out, sizeof out));
    expectRefused(function, "Sgn_Dev_GetSerialNumber", Sgn_Dev_GetSerialNumber("Label", out, sizeof out));
    expectRefused(function, "Sgn_Dev_GetUserData", Sgn_Dev_GetUserData("Label", out, sizeof out));
    expectRefused(function, "Sgn_Dev_ChangePin_ex", Sgn_Dev_ChangePin_ex("Label", "111111", "222222"));
    expectRefused(function, "Sgn_SelectCertByKeySn", Sgn_SelectCertByKeySn("SN1", out, sizeof out));
    expectRefused(function, "Sgn_SelectCertByDn", Sgn_SelectCertByDn("CN", "Zhang", out));
    expectRefused(function, "Sgn_GetCertProperty", Sgn_GetCertProperty(cert.c_str(), "CN", out, sizeof out));
    expectRefused(function, "Sgn_SetLog", Sgn_SetLog(nullptr));
    expectRefused(function, "Sgn_CloseLog", Sgn_CloseLog());
    const unsigned char data[] = "data";
    char* text = Sgn_Sign(data, 4, 1, "111111");
    expectRefused(function, "Sgn_Sign", text != nullptr ? std::stoi(text) : 0);
    // Giving a text back is done even from inside: nothing leaks (LSan).
    Sgn_Free(text);
}

// Starts a call of another thread from inside the token call and gives it
// time to finish, which it may not before the outer call ends.
std::thread other;
std::atomic<bool> otherDone;
std::atomic<bool> doneWhileInside;
int otherAnswer;

void DEVAPI startAnotherCaller(const char*)
{
    other = std::thread([] {
        const std::string cert = base64Of(fixture("certs/rsa_sign.der"));
        char out[256] = {0};
        otherAnswer = Sgn_GetCertProperty(cert.c_str(), "CN", out, sizeof out);
        otherDone = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    doneWhileInside = otherDone.load();
}

class ReentryTest : public CleanSelection<::testing::Test> {};

}  // namespace

TEST_F(ReentryTest, EveryExportCalledFromInsideEveryTokenCallIsRefusedAndTheOuterCallSucceeds)
{
    std::vector<std::string> faults;
    for (const auto& call : kTokenCalls) faults.push_back(tokenFault(call, "call_host"));
    RegisteredTokens tokens({tokenState(
        {tokenDevice("dev", "Label", "SN1", {tokenApplication("app", "111111", {tokenContainer("c1", "sm2_zhang")})})},
        faults)});
    auto setCallback = reinterpret_cast<softskf_setHostCallback_fn>(
        tokenModuleFunction(tokens.vendor(0).path(), "softskf_setHostCallback"));
    ASSERT_NE(setCallback, nullptr);
    calledBackFrom.clear();
    wrongAnswers.clear();
    TraceCapture trace;
    setCallback(callEveryExport);

    char out[4096] = {0};
    EXPECT_EQ(Sgn_Dev_Enum("|", out, sizeof out), 0);
    EXPECT_STREQ(out, "Label");
    EXPECT_EQ(Sgn_SelectCertByDn("CN", "Zhang", out), 0);
    const unsigned char data[] = "data";
    char* text = Sgn_Sign(data, 4, 1, "111111");
    ASSERT_NE(text, nullptr);
    EXPECT_NE(text[0], '-') << text;
    Sgn_Free(text);
    EXPECT_EQ(Sgn_Dev_ChangePin_ex("Label", "111111", "222222"), 0);
    setCallback(nullptr);

    EXPECT_EQ(calledBackFrom, std::set<std::string>(kTokenCalls.begin(), kTokenCalls.end()));
    EXPECT_TRUE(wrongAnswers.empty()) << wrongAnswers.size() << " answers, first: " << wrongAnswers.front();
    EXPECT_TRUE(trace.contains("called from inside a token library call, refused -10005"));
}

// Only the holder's own thread is refused: a call from another thread
// still waits for the lock and is then served.
TEST_F(ReentryTest, AnotherThreadWaitsForTheOuterCallAndIsServed)
{
    RegisteredTokens tokens({tokenState(
        {tokenDevice("dev", "Label", "SN1", {tokenApplication("app", "111111", {tokenContainer("c1", "sm2_zhang")})})},
        {tokenFault("SKF_EnumDev", "call_host")})});
    auto setCallback = reinterpret_cast<softskf_setHostCallback_fn>(
        tokenModuleFunction(tokens.vendor(0).path(), "softskf_setHostCallback"));
    ASSERT_NE(setCallback, nullptr);
    otherDone = false;
    doneWhileInside = false;
    otherAnswer = 1;
    setCallback(startAnotherCaller);
    char out[256] = {0};
    EXPECT_EQ(Sgn_Dev_Enum("|", out, sizeof out), 0);
    setCallback(nullptr);
    ASSERT_TRUE(other.joinable());
    other.join();
    EXPECT_FALSE(doneWhileInside) << "the other thread did not wait for the lock";
    EXPECT_EQ(otherAnswer, 0);
}
