#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "dsc_acx_certinfo.h"
#include "tcore_errors.h"
#include "dsc_acx_selected.h"
#include "dsc_acx_sign.h"
#include "dsc_jna.h"
#include "cert_forge.h"
#include "fixtures.h"
#include "sign_support.h"
#include "tcore_codec.h"
#include "test_csp.h"
#include "test_registry.h"
#include "test_stores.h"
#include "token_vendor.h"
#include "trace_capture.h"
#include "twcyt_cert.h"
#include "twcyt_sign.h"
#include "twcyt_signctx.h"

namespace {

const std::string kData = "The quick brown fox signs the contract.";

class SignTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        test_stores_clear();
        test_registry_clear();
        dsc_acx_releaseSelectedCert();
    }
    void TearDown() override
    {
        dsc_acx_releaseSelectedCert();
        test_stores_clear();
        test_registry_clear();
    }
    char cert[4096];
};

std::string sign(const std::string& data, int mode, const char* pin) { return signedText(data, mode, pin, true); }

std::string token(const std::string& serial, const std::string& container)
{
    return tokenState({tokenDevice("dev", "Label", serial, {tokenApplication("app", "111111", {container})})});
}

}  // namespace

TEST_F(SignTest, NothingSelected) { EXPECT_EQ(sign(kData, 1, "111111"), "-3011"); }

TEST_F(SignTest, TokenSm2AttachedAndDetached)
{
    RegisteredTokens tokens({token("SN1", tokenContainer("c1", "sm2_zhang"))});
    ASSERT_EQ(Sgn_SelectCertByDn("CN", "Zhang", cert), 0);
    std::string attached = sign(kData, 1, "111111");
    ASSERT_NE(attached[0], '-') << attached;
    EXPECT_EQ(sign(kData, 1, "111111"), "-3011");  // the selection is used up

    ASSERT_EQ(Sgn_SelectCertByDn("CN", "Zhang", cert), 0);
    std::string detached = sign(kData, 2, "111111");
    ASSERT_NE(detached[0], '-') << detached;
    std::string attachedDer = unbase64(attached), detachedDer = unbase64(detached);
    EXPECT_NE(attachedDer.find(kData), std::string::npos);
    EXPECT_EQ(detachedDer.find(kData), std::string::npos);
    EXPECT_GT(attachedDer.size(), detachedDer.size());
    recordSignedData("token_sm2_attached", attached, kData, "sm2_zhang");
    recordSignedData("token_sm2_detached", detached, kData, "sm2_zhang");
}

TEST_F(SignTest, TokenRsaSelectedBySerialNumber)
{
    RegisteredTokens tokens({token("SN-RSA", tokenContainer("c1", "rsa_wang"))});
    ASSERT_EQ(Sgn_SelectCertByKeySn("SN-RSA", cert, sizeof cert), 0);
    std::string text = sign(kData, 1, "111111");
    ASSERT_NE(text[0], '-') << text;
    recordSignedData("token_rsa_attached", text, kData, "rsa_wang");
}

TEST_F(SignTest, WrongPinStopsBeforeSigning)
{
    RegisteredTokens tokens({token("SN1", tokenContainer("c1", "sm2_zhang"))});
    ASSERT_EQ(Sgn_SelectCertByDn(nullptr, nullptr, cert), 0);
    TraceCapture trace;
    EXPECT_EQ(sign(kData, 1, "000000"), "-1040");
    EXPECT_TRUE(trace.contains("tutil_skf_verifyPin fial -160151"));
    EXPECT_FALSE(trace.contains("skf_digest"));
    EXPECT_EQ(dsc_acx_selectedCert, nullptr);
    ASSERT_EQ(Sgn_SelectCertByDn(nullptr, nullptr, cert), 0);
    EXPECT_EQ(sign(kData, 1, nullptr), "-1040");  // no PIN at all
}

TEST_F(SignTest, OtherModesSignNothing)
{
    RegisteredTokens tokens({token("SN1", tokenContainer("c1", "sm2_zhang"))});
    ASSERT_EQ(Sgn_SelectCertByDn(nullptr, nullptr, cert), 0);
    EXPECT_EQ(sign(kData, 3, "111111"), "-1");
    EXPECT_EQ(dsc_acx_selectedCert, nullptr);
}

TEST_F(SignTest, ExpiredCertificateIsRefusedBeforeTheToken)
{
    std::string expired = "{\"name\": \"old\", " + fixture("tokens/rsa_wang.json").substr(1);
    size_t at = expired.find("\"sign_cert\": \"") + 14;
    expired.replace(at, expired.find('"', at) - at, hexOf(fixture("certs/expired_2001.der")));
    RegisteredTokens tokens(
        {tokenState({tokenDevice("dev", "Label", "SN-OLD", {tokenApplication("app", "111111", {expired})})},
                    {tokenFault("SKF_Digest", "fail"), tokenFault("SKF_RSASignData", "fail")})});
    ASSERT_EQ(Sgn_SelectCertByKeySn("SN-OLD", cert, sizeof cert), 0);
    TraceCapture trace;
    EXPECT_EQ(sign(kData, 1, "111111"), "-2026");
    EXPECT_TRUE(trace.contains("twcyt_cert_checkValidity fail -260035"));
}

TEST_F(SignTest, OutputOneCharacterShortAndTextData)
{
    RegisteredTokens tokens({token("SN-RSA", tokenContainer("c1", "rsa_wang"))});
    // RSA PKCS#1 v1.5 signatures are deterministic, so the length is known.
    ASSERT_EQ(Sgn_SelectCertByKeySn("SN-RSA", cert, sizeof cert), 0);
    dsc_acx_certinfo_setPin("111111");
    std::vector<char> out(20000);
    int full = dsc_acx_p7sign(reinterpret_cast<const unsigned char*>(kData.c_str()), 0, 0, out.data(),
                              static_cast<int>(out.size()));
    ASSERT_GT(full, 0);
    dsc_acx_releaseSelectedCert();

    // One byte short of the text, and exactly the text with no byte left
    // for its NUL: both refused. One more byte holds text and terminator.
    for (int size : {full - 1, full, full + 1}) {
        ASSERT_EQ(Sgn_SelectCertByKeySn("SN-RSA", cert, sizeof cert), 0);
        dsc_acx_certinfo_setPin("111111");
        std::fill(out.begin(), out.end(), '#');
        TraceCapture trace;
        int rc = dsc_acx_p7sign(reinterpret_cast<const unsigned char*>(kData.c_str()), static_cast<int>(kData.size()),
                                0, out.data(), size);
        if (size <= full) {
            EXPECT_EQ(rc, DSC_ACX_ERR_BASE64) << size;
            EXPECT_TRUE(trace.contains("tcore_base64_encode failed -10003")) << size;
        } else {
            EXPECT_EQ(rc, full);
            EXPECT_EQ(out[static_cast<size_t>(full)], '\0');
        }
        EXPECT_EQ(dsc_acx_selectedCert->cert, nullptr);  // the record gave its certificate up
        dsc_acx_releaseSelectedCert();
    }

    ASSERT_EQ(Sgn_SelectCertByKeySn("SN-RSA", cert, sizeof cert), 0);
    EXPECT_EQ(dsc_acx_p7sign(reinterpret_cast<const unsigned char*>(""), 0, 0, out.data(), 100), DSC_ACX_ERR_ARG);
}

// A record whose certificate is large: the text Sgn_Sign returns is whole
// and terminated for every size around the one that filled a fixed room of
// 8192 characters (plus the content's share) to its last byte. The token
// signs; the record carries the grown copy of the token's certificate.
TEST_F(SignTest, SignatureTextIsWholeAndTerminatedForLargeCertificates)
{
    RegisteredTokens tokens({token("SN1", tokenContainer("c1", "sm2_zhang"))});
    const std::string base = tokenCertificate("sm2_zhang");
    auto signWith = [&](const std::string& der, int mode) {
        EXPECT_EQ(Sgn_SelectCertByKeySn("SN1", cert, sizeof cert), 0);
        if (dsc_acx_selectedCert == nullptr) return std::string("(none)");
        const twcyt_cert* grown = twcyt_cert_load(bytesOf(der), lengthOf(der));
        EXPECT_NE(grown, nullptr);
        twcyt_cert_free(dsc_acx_selectedCert->cert);
        dsc_acx_selectedCert->cert = grown;
        return sign(kData, mode, "111111");
    };
    for (int mode : {1, 2}) {
        const size_t baseDer = unbase64(signWith(base, mode)).size();
        const size_t room = 8192 + (mode == 1 ? (kData.size() + 2) / 3 * 4 : 0);
        // The certificate size whose SignedData took the whole room; SM2
        // signatures vary by a byte or two, so a window around it.
        const size_t filling = base.size() + room / 4 * 3 - baseDer;
        std::vector<size_t> sizes;
        for (size_t size = filling - 6; size <= filling + 6; ++size) sizes.push_back(size);
        sizes.push_back(filling + 900);
        for (size_t size : sizes) {
            const std::string der = withDerSize(base, size);
            const std::string text = signWith(der, mode);
            ASSERT_FALSE(text.empty());
            ASSERT_NE(text[0], '-') << text << " for a certificate of " << size << " bytes, mode " << mode;
            EXPECT_EQ(text.size() % 4, 0u) << size;
            const std::string p7 = unbase64(text);
            EXPECT_EQ((p7.size() + 2) / 3 * 4, text.size()) << size;
            EXPECT_NE(p7.find(der), std::string::npos) << size;
        }
    }
}

// Content large enough that its text is a block of its own (over 32 MiB):
// the text is exactly the SignedData's base64 and its NUL, carries the
// content whole, and Sgn_Free gives it back (a sanitizer build reports a
// block released the wrong way).
TEST_F(SignTest, LargeAttachedTextIsWholeAndGivenBack)
{
    RegisteredTokens tokens({token("SN1", tokenContainer("c1", "sm2_zhang"))});
    ASSERT_EQ(Sgn_SelectCertByKeySn("SN1", cert, sizeof cert), 0);
    std::string data(size_t{25} << 20, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 131 + (i >> 13));
    const std::string text = sign(data, 1, "111111");
    ASSERT_NE(text[0], '-') << text.substr(0, 20);
    EXPECT_GT(text.size(), size_t{32} << 20);
    const std::string p7 = unbase64(text);
    EXPECT_EQ((p7.size() + 2) / 3 * 4, text.size());
    const size_t at = p7.find(data.substr(0, 64));
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(p7.compare(at, data.size(), data), 0);
}

// From 4 MiB of attached data on, the content's text is written while the
// token signs. Around that size, with the SM2 signature's varying length
// and with RSA, the SignedData verifies and carries the data whole; a
// signature that fails gives its code, and the text taken for it back.
TEST_F(SignTest, LargeDataSignsAroundTheSizeItsTextIsWrittenAhead)
{
    RegisteredTokens tokens(
        {token("SN1", tokenContainer("c1", "sm2_zhang")), token("SN-RSA", tokenContainer("c1", "rsa_wang"))});
    const size_t from = size_t{4} << 20;
    std::string data(from + 2, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 29 + (i >> 11));
    // Kept to a few signatures: the 32-bit test program has 2 GiB of
    // address space for the whole suite.
    const struct {
        const char* serial;
        const char* key;
        size_t size;
    } cases[] = {{"SN1", "sm2_zhang", from - 1},
                 {"SN1", "sm2_zhang", from},
                 {"SN1", "sm2_zhang", from + 1},
                 {"SN1", "sm2_zhang", from + 2},
                 {"SN-RSA", "rsa_wang", from + 1}};
    for (const auto& c : cases) {
        ASSERT_EQ(Sgn_SelectCertByKeySn(c.serial, cert, sizeof cert), 0);
        const std::string part = data.substr(0, c.size);
        const std::string text = sign(part, 1, "111111");
        ASSERT_NE(text[0], '-') << text.substr(0, 20) << " " << c.key << " " << c.size;
        recordSignedData(std::string("large_") + c.key + "_" + std::to_string(c.size), text, part, c.key);
    }
}

TEST_F(SignTest, LargeDataWhoseSignatureFailsGivesItsCode)
{
    RegisteredTokens tokens({tokenState(
        {tokenDevice("dev", "Label", "SN1", {tokenApplication("app", "111111", {tokenContainer("c1", "sm2_zhang")})})},
        {tokenFault("SKF_ECCSignData", "fail")})});
    ASSERT_EQ(Sgn_SelectCertByKeySn("SN1", cert, sizeof cert), 0);
    const std::string text = sign(std::string(size_t{4} << 20, 'd'), 1, "111111");
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text[0], '-') << text.substr(0, 20);
    EXPECT_LT(text.size(), 16u);
}

TEST_F(SignTest, LongTextWithoutLengthGetsRoomForItsSignature)
{
    RegisteredTokens tokens({token("SN1", tokenContainer("c1", "sm2_zhang"))});
    ASSERT_EQ(Sgn_SelectCertByDn(nullptr, nullptr, cert), 0);
    std::string text(50000, 'x');
    std::string result = signedText(text, 1, "111111", false);  // passed with length 0
    EXPECT_NE(result[0], '-') << result;
    recordSignedData("token_sm2_text", result, text, "sm2_zhang");
}

TEST_F(SignTest, StoreCertificateSignsThroughItsProvider)
{
    test_csp_register();
    test_stores_addWithKey("MY", tokenCertificate("sm2_li"), "sm2_li");
    ASSERT_EQ(Sgn_SelectCertByDn("CN", "Li", cert), 0);
    std::string text = sign(kData, 1, nullptr);
    ASSERT_NE(text[0], '-') << text;
    recordSignedData("store_sm2_attached", text, kData, "sm2_li");
}

TEST_F(SignTest, StoreCertificateWithoutKeyFailsToBind)
{
    test_stores_addWithKey("MY", tokenCertificate("sm2_li"), "sm2_li", false);
    ASSERT_EQ(Sgn_SelectCertByDn("CN", "Li", cert), 0);
    TraceCapture trace;
    EXPECT_EQ(sign(kData, 1, nullptr), "-2009");
    EXPECT_TRUE(trace.contains("twcyt_signctx_setCert fail -260043"));
}

TEST(SignatureOrderTest, ReversalRoutines)
{
    unsigned char sm2[64];
    for (int i = 0; i < 64; ++i) sm2[i] = static_cast<unsigned char>(i);
    EXPECT_EQ(twcyt_sm2sig_reverse(sm2, 64), 64);
    EXPECT_EQ(sm2[0], 0x1F);
    EXPECT_EQ(sm2[31], 0x00);
    EXPECT_EQ(sm2[32], 0x3F);
    EXPECT_EQ(sm2[63], 0x20);
    unsigned char other[70];
    for (int i = 0; i < 70; ++i) other[i] = static_cast<unsigned char>(i);
    EXPECT_EQ(twcyt_sm2sig_reverse(other, 70), 70);
    EXPECT_EQ(other[0], 0);
    EXPECT_EQ(other[69], 69);
    unsigned char odd[5] = {1, 2, 3, 4, 5};
    EXPECT_EQ(twcyt_bytes_reverse(odd, 5), 0);
    EXPECT_EQ(std::vector<unsigned char>(odd, odd + 5), (std::vector<unsigned char>{5, 4, 3, 2, 1}));
    EXPECT_EQ(twcyt_bytes_reverse(nullptr, 5), -10002);
    EXPECT_EQ(twcyt_bytes_reverse(odd, 0), -10002);
    EXPECT_EQ(twcyt_calgOf(110), 0x800Fu);
    EXPECT_EQ(twcyt_calgOf(999), 0x8004u);
}
