#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tcore_errors.h"
#include "token_session.h"
#include "trace_capture.h"

namespace {

const unsigned char kData[] = "data to be signed";
const int kDataLen = static_cast<int>(sizeof kData - 1);

int sign(tutil_skf_cert* cert, int digestKid, unsigned char* out)
{
    return tutil_skf_sign(cert, kData, kDataLen, digestKid, out, 0);
}

}  // namespace

TEST(SkfSignTest, Sm2SignatureIsDerAndTheChainStaysOpen)
{
    TokenSession s("sm2", "111111");
    ASSERT_NE(s.cert, nullptr);
    unsigned char sig[TUTIL_SKF_SIG_MAX];
    int n = sign(s.cert, 110, sig);
    ASSERT_GE(n, 8);
    ASSERT_LE(n, 72);
    EXPECT_EQ(sig[0], 0x30);
    EXPECT_EQ(sig[1], n - 2);
    EXPECT_NE(s.cert->hDev, nullptr);
    EXPECT_NE(s.cert->hContainer, nullptr);
}

TEST(SkfSignTest, SigningTwiceConnectsOnce)
{
    TokenSession s("sm2", "111111");
    unsigned char sig[TUTIL_SKF_SIG_MAX];
    ASSERT_GT(sign(s.cert, 110, sig), 0);
    // From now on the token refuses connections: only an open chain signs.
    s.addFault(tokenFault("SKF_ConnectDev", "fail"));
    EXPECT_GT(sign(s.cert, 110, sig), 0);
    tutil_skf_cert_close(s.cert);
    TraceCapture trace;
    EXPECT_EQ(sign(s.cert, 110, sig), TUTIL_SKF_ERR_CONNECT);
    EXPECT_TRUE(trace.contains("skf_connectDev dev failed  a000001"));
}

TEST(SkfSignTest, RsaSignatureHasTheModulusLength)
{
    TokenSession s("rsa", "111111");
    unsigned char sig[TUTIL_SKF_SIG_MAX];
    for (int kid : {102, 103, 110}) EXPECT_EQ(sign(s.cert, kid, sig), 256) << kid;
}

TEST(SkfSignTest, WrongPinFailsWithTheRetriesAndClosesTheChain)
{
    TokenSession s("sm2", "000000");
    TraceCapture trace;
    unsigned char sig[TUTIL_SKF_SIG_MAX];
    EXPECT_EQ(sign(s.cert, 110, sig), TUTIL_SKF_ERR_VERIFY_PIN);
    EXPECT_TRUE(trace.contains("skf_verifyPin sm2 failed  a000024, left retry 5")) << trace.entries().front();
    EXPECT_EQ(s.cert->hDev, nullptr);
    EXPECT_EQ(s.cert->hApp, nullptr);
    EXPECT_EQ(s.cert->hContainer, nullptr);
}

TEST(SkfSignTest, FailuresOnTheTokenCloseTheChain)
{
    struct Case {
        const char* container;
        std::string fault;
        int result;
        std::string trace;
    };
    const Case cases[] = {
        {"sm2", tokenFault("SKF_ExportPublicKey", "fail"), TUTIL_SKF_ERR_EXPORT_KEY, "skf_exportPublicKey sm2 failed"},
        {"sm2", tokenFault("SKF_DigestInit", "fail"), TUTIL_SKF_ERR_DIGEST_INIT, "skf_digestInit sm2 failed"},
        {"rsa", tokenFault("SKF_DigestInit", "fail"), TUTIL_SKF_ERR_DIGEST_INIT, "skf_digestInit rsa failed"},
        {"sm2", tokenFault("SKF_Digest", "fail"), TUTIL_SKF_ERR_DIGEST, "skf_digest sm2 failed"},
        {"sm2", tokenFault("SKF_ECCSignData", "fail"), TUTIL_SKF_ERR_SIGN, "skf_eccSignData sm2 failed"},
        {"rsa", tokenFault("SKF_RSASignData", "fail"), TUTIL_SKF_ERR_SIGN, "skf_rsaSignData rsa failed"},
        {"rsa", tokenFault("SKF_RSASignData", "size_over_buffer", "", "\"extra\": 100"), TCORE_ERR_BUFSIZE, ""},
        {"sm2", tokenFault("SKF_OpenContainer", "fail"), TUTIL_SKF_ERR_OPEN_CONTAINER,
         "skf_openContainer sm2 failed  a000001, continue"},
        {"sm2", tokenFault("SKF_OpenApplication", "fail"), TUTIL_SKF_ERR_OPEN_APP, "skf_openApplication app failed"},
    };
    for (const auto& c : cases) {
        TokenSession s(c.container, "111111");
        s.addFault(c.fault);
        TraceCapture trace;
        unsigned char sig[TUTIL_SKF_SIG_MAX];
        EXPECT_EQ(sign(s.cert, 102, sig), c.result) << c.fault;
        if (!c.trace.empty()) {
            EXPECT_TRUE(trace.contains(c.trace)) << c.fault;
        }
        EXPECT_EQ(s.cert->hDev, nullptr) << c.fault;
        EXPECT_EQ(s.cert->hApp, nullptr) << c.fault;
    }
}

TEST(SkfSignTest, RecordChecksAndArguments)
{
    TokenSession s("sm2", "111111");
    unsigned char sig[TUTIL_SKF_SIG_MAX];
    EXPECT_EQ(tutil_skf_sign(s.cert, nullptr, 3, 110, sig, 0), TCORE_ERR_PARAM);
    EXPECT_EQ(tutil_skf_sign(s.cert, kData, 0, 110, sig, 0), TCORE_ERR_PARAM);
    EXPECT_EQ(tutil_skf_sign(s.cert, kData, kDataLen, 110, nullptr, 0), TCORE_ERR_PARAM);
    tutil_skf_cert copy = *s.cert;
    copy.hDev = copy.hApp = copy.hContainer = nullptr;
    copy.containerType = 3;
    EXPECT_EQ(tutil_skf_cert_check(&copy), TUTIL_SKF_ERR_CONTAINER_TYPE);
    EXPECT_EQ(sign(&copy, 110, sig), TUTIL_SKF_ERR_CONTAINER_TYPE);
    copy.containerType = 2;
    copy.containerName[0] = 0;
    EXPECT_EQ(tutil_skf_cert_check(&copy), TUTIL_SKF_ERR_INCOMPLETE);
    EXPECT_EQ(tutil_skf_cert_check(nullptr), TUTIL_SKF_ERR_INCOMPLETE);
    std::strcpy(copy.containerName, "sm2");
    copy.providerId = 12345;
    EXPECT_EQ(sign(&copy, 110, sig), TUTIL_SKF_ERR_NO_PROVIDER);
}

TEST(SkfSignTest, SharedRecordSurvivesOneRelease)
{
    TokenSession s("sm2", "111111");
    unsigned char sig[TUTIL_SKF_SIG_MAX];
    tutil_skf_cert_retain(s.cert);  // a second holder
    tutil_skf_cert_release(s.cert);
    EXPECT_GT(sign(s.cert, 110, sig), 0);  // still usable (the sanitizers watch)
}

TEST(SkfPinTest, VerifyPin)
{
    TokenSession right("sm2", "111111");
    int retries = -7;
    EXPECT_EQ(tutil_skf_verifyPin(right.cert, &retries, 0), 0);
    EXPECT_EQ(retries, -7);
    EXPECT_NE(right.cert->hApp, nullptr);

    TokenSession wrong("sm2", "999999");
    EXPECT_EQ(tutil_skf_verifyPin(wrong.cert, &retries, 0), TUTIL_SKF_ERR_VERIFY_PIN);
    EXPECT_EQ(retries, 5);
    EXPECT_EQ(wrong.cert->hApp, nullptr);

    TokenSession empty("sm2", "");
    EXPECT_EQ(tutil_skf_verifyPin(empty.cert, &retries, 0), TCORE_ERR_PARAM);
    EXPECT_EQ(tutil_skf_verifyPin(nullptr, &retries, 0), TCORE_ERR_PARAM);
}

TEST(SkfPinTest, ChangePin)
{
    TokenSession s("sm2", "111111");
    int retries = -1;
    TraceCapture trace;
    EXPECT_EQ(tutil_skf_changePin(s.providerId, "dev", "app", "000000", "654321", &retries, 0),
              TUTIL_SKF_ERR_CHANGE_PIN);
    EXPECT_EQ(retries, 5);
    EXPECT_TRUE(trace.contains("skf_changePIN app failed  a000024, continue, retry times is 5"));

    EXPECT_EQ(tutil_skf_changePin(s.providerId, "dev", "app", "111111", "654321", &retries, 0), 0);
    EXPECT_NE(s.vendor->state().find("\"654321\""), std::string::npos) << "the new PIN is on the token";

    s.addFault(tokenFault("SKF_ChangePIN", "fail"));
    retries = 3;
    EXPECT_EQ(tutil_skf_changePin(s.providerId, "dev", "app", "654321", "111111", &retries, 0),
              TUTIL_SKF_ERR_CHANGE_PIN);
    EXPECT_EQ(retries, -1);

    EXPECT_EQ(tutil_skf_changePin(s.providerId, "nodev", "app", "1", "2", &retries, 0), TUTIL_SKF_ERR_CONNECT);
    EXPECT_EQ(tutil_skf_changePin(s.providerId, "dev", "noapp", "1", "2", &retries, 0), TUTIL_SKF_ERR_OPEN_APP);
    EXPECT_EQ(tutil_skf_changePin(99999, "dev", "app", "1", "2", &retries, 0), TUTIL_SKF_ERR_NO_PROVIDER);
}
