// Every SKF call the library makes, answered in every hostile way the soft
// token can answer, on one of two tokens: whatever that token does, the
// other one is still listed, selected and signs, and every call ends with a
// code (the sanitizers watch memory on Linux).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dsc_acx_selected.h"
#include "dsc_jna.h"
#include "sign_support.h"
#include "test_registry.h"
#include "test_stores.h"
#include "token_vendor.h"

namespace {

const char* const kCalls[] = {
    "SKF_EnumDev",           "SKF_EnumApplication",  "SKF_ConnectDev",    "SKF_DisConnectDev", "SKF_CloseApplication",
    "SKF_CloseContainer",    "SKF_GetContainerType", "SKF_OpenContainer", "SKF_EnumContainer", "SKF_OpenApplication",
    "SKF_ExportCertificate", "SKF_ECCSignData",      "SKF_RSASignData",   "SKF_Digest",        "SKF_DigestInit",
    "SKF_ExportPublicKey",   "SKF_VerifyPIN",        "SKF_GetDevInfo",    "SKF_ChangePIN",
};

struct Kind {
    const char* name;
    const char* extra;
};
const Kind kKinds[] = {
    {"fail", ""},
    {"list_without_final_nul", ""},
    {"size_over_buffer", "\"extra\": 300"},
    {"length", "\"length\": 5000"},
    {"unterminated_text", ""},
    {"size_only_in_error", ""},
};

std::string state(const std::string& fault)
{
    if (fault.empty()) return tokenState({});
    return tokenState(
        {tokenDevice("dev1", "A", "S1", {tokenApplication("app1", "111111", {tokenContainer("c1", "sm2_zhang")})}),
         tokenDevice("dev2", "B", "S2", {tokenApplication("app2", "111111", {tokenContainer("c2", "sm2_li")})})},
        {fault});
}

bool isCode(const std::string& text) { return !text.empty() && text[0] == '-'; }

}  // namespace

TEST(FaultSweepTest, OneHostileTokenDoesNotTakeTheOtherDown)
{
    test_stores_clear();
    char out[4096];
    // One vendor library for the whole sweep, its state rewritten for each
    // case: the token reads it again on every call, and a process can hold
    // only so many copies of a module that links its own crypto library.
    RegisteredTokens tokens({state("")});
    for (const char* call : kCalls) {
        // Listing devices has no device to aim at: it hits the whole library.
        bool wholeLibrary = std::string(call) == "SKF_EnumDev";
        for (const Kind& kind : kKinds) {
            std::string where = std::string(call) + " " + kind.name;
            tokens.vendor(0).setState(
                state(tokenFault(call, kind.name, wholeLibrary ? "" : "\"device\": \"dev1\"", kind.extra)));
            int listed = Sgn_Dev_Enum("|", out, sizeof out);
            int selected = Sgn_SelectCertByDn("CN", "Li", out);
            if (wholeLibrary && std::string(kind.name) == "fail") {
                EXPECT_EQ(listed, -3055) << where;
                EXPECT_EQ(selected, -3011) << where;
                continue;
            }
            if (!wholeLibrary) {
                EXPECT_EQ(selected, 0) << where;
                std::string text = signedText("sweep", 1, "111111", true);
                EXPECT_FALSE(isCode(text)) << where << ": " << text;
                if (!isCode(text)) recordSignedData(where, text, "sweep", "sm2_li");
                char labels[64];
                EXPECT_EQ(Sgn_Dev_Enum("|", labels, sizeof labels), 0) << where;
                EXPECT_NE(std::string(labels).find('B'), std::string::npos) << where;
            }
            // The token under fault: a certificate or a code, never a crash.
            int rc = Sgn_SelectCertByDn("CN", "Zhang", out);
            if (rc == 0) {
                std::string text = signedText("sweep", 2, "111111", true);
                EXPECT_FALSE(text.empty()) << where;
            } else {
                EXPECT_LT(rc, 0) << where;
            }
            char serial[64];
            EXPECT_LE(Sgn_Dev_GetSerialNumber("A", serial, sizeof serial), 0) << where;
            EXPECT_LE(Sgn_Dev_ChangePin_ex("A", "111111", "222222"), 0) << where;
            dsc_acx_releaseSelectedCert();
        }
    }
}
