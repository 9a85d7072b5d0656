// Token signatures checked by an independent verifier (OpenSSL): SM2 with
// SM3 and the default signer identity, RSA with the digest the key id picks.
#include <gtest/gtest.h>

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <memory>
#include <string>

#include "token_session.h"

namespace {

const unsigned char kData[] = "the content a host signs";

// 1 when the signature verifies, 0 when not, -1 when it cannot be checked.
int opensslVerify(const std::string& certDer, const unsigned char* sig, int sigLen, const EVP_MD* md, bool sm2)
{
    const auto* p = reinterpret_cast<const unsigned char*>(certDer.data());
    std::unique_ptr<X509, decltype(&X509_free)> cert(d2i_X509(nullptr, &p, static_cast<long>(certDer.size())),
                                                     X509_free);
    if (!cert) return -1;
    EVP_PKEY* key = X509_get0_pubkey(cert.get());
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> pctx(EVP_PKEY_CTX_new(key, nullptr), EVP_PKEY_CTX_free);
    if (sm2) {
        static const char id[] = "1234567812345678";
        if (EVP_PKEY_CTX_set1_id(pctx.get(), id, 16) != 1) return -1;
        EVP_MD_CTX_set_pkey_ctx(ctx.get(), pctx.get());
    }
    if (EVP_DigestVerifyInit(ctx.get(), nullptr, md, nullptr, key) != 1) return -1;
    return EVP_DigestVerify(ctx.get(), sig, static_cast<size_t>(sigLen), kData, sizeof kData - 1) == 1 ? 1 : 0;
}

}  // namespace

TEST(SkfSignOracleTest, Sm2SignaturesVerify)
{
    TokenSession s("sm2", "111111");
    // Enough signatures that short r or s values (about one in 125) occur.
    for (int i = 0; i < 300; ++i) {
        unsigned char sig[TUTIL_SKF_SIG_MAX];
        int n = tutil_skf_sign(s.cert, kData, sizeof kData - 1, 110, sig, 0);
        ASSERT_GT(n, 0);
        ASSERT_EQ(opensslVerify(tokenCertificate("sm2_zhang"), sig, n, EVP_sm3(), true), 1) << "signature " << i;
    }
}

TEST(SkfSignOracleTest, RsaDigestFollowsTheKeyId)
{
    TokenSession s("rsa", "111111");
    struct Case {
        int kid;
        const EVP_MD* md;
        const EVP_MD* other;
    };
    const Case cases[] = {
        {102, EVP_sha1(), EVP_sha256()}, {103, EVP_sha256(), EVP_sha1()}, {110, EVP_sha1(), EVP_sha256()}};
    for (const auto& c : cases) {
        unsigned char sig[TUTIL_SKF_SIG_MAX];
        int n = tutil_skf_sign(s.cert, kData, sizeof kData - 1, c.kid, sig, 0);
        ASSERT_EQ(n, 256);
        EXPECT_EQ(opensslVerify(tokenCertificate("rsa_wang"), sig, n, c.md, false), 1) << c.kid;
        EXPECT_EQ(opensslVerify(tokenCertificate("rsa_wang"), sig, n, c.other, false), 0) << c.kid;
    }
}
