// Signing through real CryptoAPI providers under Wine: the test CSP for SM2
// (with a chosen CryptSignHash failure) and Wine's own RSA provider.
#include <gtest/gtest.h>

#include <windows.h>
#include <wincrypt.h>

#include <string>

#include "dsc_acx_selected.h"
#include "dsc_jna.h"
#include "sign_support.h"
#include "test_csp.h"
#include "test_registry.h"
#include "test_stores.h"
#include "token_vendor.h"
#include "twcyt_cert.h"
#include "twcyt_sign.h"
#include "twcyt_signctx.h"

namespace {

class ProviderSignTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        test_registry_clear();
        test_stores_clear();
        test_csp_register();
    }
    void TearDown() override
    {
        SetEnvironmentVariableA("DSC_TEST_CSP_SIGN_ERROR", nullptr);
        dsc_acx_releaseSelectedCert();
        test_stores_clear();
    }
    char cert[4096];
};

// The context of the first certificate in "MY" whose subject holds `cn`.
PCCERT_CONTEXT storeCertificate(const char* cn)
{
    HCERTSTORE store = CertOpenSystemStoreW(0, L"MY");
    PCCERT_CONTEXT found = nullptr;
    for (PCCERT_CONTEXT c = nullptr; (c = CertEnumCertificatesInStore(store, c)) != nullptr;) {
        char dn[256] = {0};
        twcyt_cert_getDn(c, dn, sizeof dn);
        if (std::string(dn).find(cn) != std::string::npos) {
            found = CertDuplicateCertificateContext(c);
            CertFreeCertificateContext(c);
            break;
        }
    }
    CertCloseStore(store, 0);
    return found;
}

}  // namespace

TEST_F(ProviderSignTest, ProviderErrorsReachTheCaller)
{
    test_stores_addWithKey("MY", tokenCertificate("sm2_li"), "sm2_li");
    struct Case {
        const char* error;
        std::string result;
    };
    const Case cases[] = {
        {"1", "-4045"},          {"0x80000A01", "-4046"},     {"0x80000A04", "-4047"},
        {"0x80000B00", "-4048"}, {"0x056CCB41", "-91016001"}, {"0x80090020", "-1007"},
    };
    for (const auto& c : cases) {
        SetEnvironmentVariableA("DSC_TEST_CSP_SIGN_ERROR", c.error);
        ASSERT_EQ(Sgn_SelectCertByDn("CN", "Li", cert), 0);
        EXPECT_EQ(signedText("data", 1, nullptr, true), c.result) << c.error;
    }
    SetEnvironmentVariableA("DSC_TEST_CSP_SIGN_ERROR", nullptr);
    ASSERT_EQ(Sgn_SelectCertByDn("CN", "Li", cert), 0);
    std::string text = signedText("data", 2, nullptr, true);
    EXPECT_NE(text[0], '-') << text;
}

TEST_F(ProviderSignTest, ExchangeOnlyContainerBindsWithKeySpecOne)
{
    test_stores_addWithKey("MY", tokenCertificate("rsa_wang"), "rsa_wang");
    PCCERT_CONTEXT c = storeCertificate("Wang Wu");
    ASSERT_NE(c, nullptr);
    twcyt_signctx* ctx = twcyt_signctx_new();
    ASSERT_EQ(twcyt_signctx_setCert(ctx, c), 0);
    EXPECT_EQ(ctx->keySpec, static_cast<DWORD>(AT_KEYEXCHANGE));
    EXPECT_EQ(ctx->digestKid, 0);  // not an SM2 key
    ctx->digestKid = 102;
    unsigned char sig[TWCYT_SIG_AREA];
    EXPECT_EQ(twcyt_signctx_sign(ctx, reinterpret_cast<const unsigned char*>("abc"), 3, sig), 256);
    twcyt_signctx_free(ctx);
    CertFreeCertificateContext(c);  // the context held a reference of its own
}
