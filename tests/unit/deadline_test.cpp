// A token library that does not answer. Listing gives each library a
// deadline and goes on without one that misses it; signing and PIN calls
// get one only when it is set. A library whose call was given up on gets
// no other call of ours until that call returns, and its late answer is
// discarded. The soft token's "block" fault holds a call until the test
// releases it, which every test does before it ends.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

// <windows.h> before the SKF header, which defines TRUE and FALSE only if
// it has not.
#include <windows.h>

#include "dsc_jna.h"
#include "selection_fixture.h"
#include "softskf_hooks.h"
#include "tcore_errors.h"
#include "token_vendor.h"
#include "trace_capture.h"

namespace {

class DeadlineTest : public CleanSelection<::testing::Test> {};

const char kPin[] = "111111";

std::string token(const std::string& label, const std::string& serial, const std::string& key,
                  const std::vector<std::string>& faults = {})
{
    return tokenState({tokenDevice("dev", label, serial, {tokenApplication("app", kPin, {tokenContainer("c1", key)})})},
                      faults);
}

// The soft token's gate for blocked calls, in one vendor's copy.
struct Gate {
    explicit Gate(const TokenVendor& vendor)
        : release(reinterpret_cast<softskf_releaseBlocked_fn>(
              tokenModuleFunction(vendor.path(), "softskf_releaseBlocked"))),
          blocked(reinterpret_cast<softskf_blockedCalls_fn>(tokenModuleFunction(vendor.path(), "softskf_blockedCalls")))
    {
    }
    // Lets any blocked call go, so no test leaves a thread waiting.
    ~Gate()
    {
        if (release != nullptr) release();
    }
    softskf_releaseBlocked_fn release;
    softskf_blockedCalls_fn blocked;
};

// Waits up to 20 s for `done`, as a late answer comes in on its own thread.
template <class Done>
bool eventually(Done done)
{
    for (int i = 0; i < 2000; ++i) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return done();
}

std::string signText(const unsigned char* data, int len)
{
    char* text = Sgn_Sign(data, len, 1, kPin);
    std::string out = text != nullptr ? text : "<null>";
    Sgn_Free(text);
    return out;
}

}  // namespace

TEST_F(DeadlineTest, ListingGoesOnWithoutALibraryThatDoesNotAnswerAndTakesItBackAfterItsLateAnswer)
{
    RegisteredTokens tokens(
        {token("Hung", "SN1", "sm2_zhang", {tokenFault("SKF_EnumDev", "block")}), token("Live", "SN2", "sm2_li")},
        skfSettings({"\"EnumTimeoutMs\"=dword:000005dc"}));
    const std::string hungPath = tokens.vendor(0).path();
    Gate hung(tokens.vendor(0));
    ASSERT_NE(hung.release, nullptr);
    TraceCapture trace;

    char names[256] = {0};
    EXPECT_EQ(Sgn_Dev_Enum("|", names, sizeof names), 0);
    EXPECT_STREQ(names, "Live");
    // The deadline the registry gives, not the default.
    EXPECT_TRUE(trace.contains(hungPath + " did not answer within 1500 ms"));
    EXPECT_EQ(hung.blocked(), 1u);

    // Until its call returns, the library gets no other call: each listing
    // skips it at once and still offers the others.
    char cert[4096] = {0};
    EXPECT_EQ(Sgn_SelectCertByKeySn("SN2", cert, sizeof cert), 0);
    EXPECT_EQ(Sgn_SelectCertByKeySn("SN1", cert, sizeof cert), DSC_ACX_ERR_NO_CERT);
    EXPECT_TRUE(trace.contains(hungPath + " is still busy with a call that did not answer, refused -160153"));
    EXPECT_EQ(hung.blocked(), 1u) << "a second call went into the library";

    EXPECT_EQ(hung.release(), 1u);
    ASSERT_TRUE(eventually([&] { return trace.contains("the late answer of " + hungPath + " was discarded"); }));
    EXPECT_EQ(Sgn_Dev_Enum("|", names, sizeof names), 0);
    EXPECT_STREQ(names, "Hung|Live");
    EXPECT_EQ(Sgn_SelectCertByKeySn("SN1", cert, sizeof cert), 0);
    EXPECT_EQ(signText(reinterpret_cast<const unsigned char*>("data"), 4).substr(0, 1), "M");
}

TEST_F(DeadlineTest, ALibraryThatHangsWhileWalkingItsContainersIsLeftBehindToo)
{
    // The hang comes deep in the walk, after the device is connected: the
    // late walk then finishes on its own thread, closes what it opened, and
    // its records are freed unseen.
    RegisteredTokens tokens({token("Hung", "SN1", "sm2_zhang", {tokenFault("SKF_ExportCertificate", "block")}),
                             token("Live", "SN2", "sm2_li")},
                            skfSettings({"\"EnumTimeoutMs\"=\"1500\""}));
    const std::string hungPath = tokens.vendor(0).path();
    Gate hung(tokens.vendor(0));
    TraceCapture trace;
    char cert[4096] = {0};
    EXPECT_EQ(Sgn_SelectCertByDn(nullptr, nullptr, cert), 0);
    EXPECT_TRUE(trace.contains(hungPath + " did not answer within 1500 ms"));
    EXPECT_EQ(signText(reinterpret_cast<const unsigned char*>("data"), 4).substr(0, 1), "M");
    EXPECT_EQ(hung.release(), 1u);
    ASSERT_TRUE(eventually([&] { return trace.contains("the late answer of " + hungPath + " was discarded"); }));
}

TEST_F(DeadlineTest, SigningAndPinCallsThatMissCallTimeoutReturnTheirOwnCode)
{
    const struct {
        const char* call;
        bool changePin;  // the call is Sgn_Dev_ChangePin_ex rather than Sgn_Sign
    } cases[] = {
        {"SKF_VerifyPIN", false},
        {"SKF_Digest", false},
        {"SKF_ECCSignData", false},
        {"SKF_ChangePIN", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.call);
        RegisteredTokens tokens({token("Slow", "SN1", "sm2_zhang", {tokenFault(c.call, "block")})},
                                skfSettings({"\"CallTimeoutMs\"=dword:000003e8"}));
        const std::string path = tokens.vendor(0).path();
        Gate slow(tokens.vendor(0));
        TraceCapture trace;
        char cert[4096] = {0};
        const std::string noAnswer = std::to_string(TUTIL_SKF_ERR_NO_ANSWER);
        if (c.changePin) {
            EXPECT_EQ(Sgn_Dev_ChangePin_ex("Slow", kPin, "222222"), TUTIL_SKF_ERR_NO_ANSWER);
        } else {
            ASSERT_EQ(Sgn_SelectCertByKeySn("SN1", cert, sizeof cert), 0);
            // The host frees its data as soon as the call returns: the late
            // call must be reading a copy (AddressSanitizer tells otherwise).
            std::vector<unsigned char> data(100000, 'd');
            EXPECT_EQ(signText(data.data(), static_cast<int>(data.size())), noAnswer);
            data.assign(data.size(), 'x');
            std::vector<unsigned char>().swap(data);
        }
        EXPECT_TRUE(trace.contains(path + " did not answer within 1000 ms"));
        EXPECT_EQ(slow.blocked(), 1u);

        // Busy: refused at once, no second call goes in.
        EXPECT_EQ(Sgn_Dev_ChangePin_ex("Slow", kPin, "222222"), DSC_ACX_ERR_NO_DEVICE);
        EXPECT_EQ(slow.blocked(), 1u);

        EXPECT_EQ(slow.release(), 1u);
        ASSERT_TRUE(eventually([&] { return trace.contains("the late answer of " + path + " was discarded"); }));
        // Answered: the library takes calls again, and a late PIN change has
        // really changed the PIN. (A slow machine gets the time a signature
        // takes there.)
        test_registry_install(providerRegistration({{"Vendor 1", path}}) +
                              skfSettings({"\"CallTimeoutMs\"=dword:0000ea60"}));
        const char* pin = c.changePin ? "222222" : kPin;
        ASSERT_EQ(Sgn_SelectCertByKeySn("SN1", cert, sizeof cert), 0);
        char* text = Sgn_Sign(reinterpret_cast<const unsigned char*>("data"), 4, 1, pin);
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(std::string(text).substr(0, 1), "M") << text;
        Sgn_Free(text);
    }
}

TEST_F(DeadlineTest, WithoutCallTimeoutASignatureWaitsForItsToken)
{
    // A token waiting for a touch of its button: with no call deadline set,
    // the signature waits for it, however long the person takes.
    RegisteredTokens tokens({token("Touch", "SN1", "sm2_zhang", {tokenFault("SKF_ECCSignData", "block")})});
    Gate touch(tokens.vendor(0));
    char cert[4096] = {0};
    ASSERT_EQ(Sgn_SelectCertByKeySn("SN1", cert, sizeof cert), 0);
    std::thread person([&] {
        eventually([&] { return touch.blocked() == 1u; });
        std::this_thread::sleep_for(std::chrono::seconds(1));
        touch.release();
    });
    EXPECT_EQ(signText(reinterpret_cast<const unsigned char*>("data"), 4).substr(0, 1), "M");
    person.join();
}

TEST_F(DeadlineTest, AnUnusableDeadlineIsTracedAndTheDefaultHolds)
{
    RegisteredTokens tokens({token("Live", "SN1", "sm2_zhang")},
                            skfSettings({"\"EnumTimeoutMs\"=\"soon\"", "\"CallTimeoutMs\"=hex:01,02"}));
    TraceCapture trace;
    char cert[4096] = {0};
    ASSERT_EQ(Sgn_SelectCertByKeySn("SN1", cert, sizeof cert), 0);
    EXPECT_TRUE(trace.contains("EnumTimeoutMs is not a number of milliseconds (-10002), 5000 is used"));
    EXPECT_EQ(signText(reinterpret_cast<const unsigned char*>("data"), 4).substr(0, 1), "M");
    EXPECT_TRUE(trace.contains("CallTimeoutMs is not a number of milliseconds (-10002), 0 is used"));
}
