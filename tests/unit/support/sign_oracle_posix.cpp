#include <gtest/gtest.h>

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>

#include <memory>

#include "sign_support.h"
#include "token_vendor.h"

void recordSignedData(const std::string& name, const std::string& base64, const std::string& data,
                      const std::string& keyFixture)
{
    std::string der = unbase64(base64);
    const auto* p = reinterpret_cast<const unsigned char*>(der.data());
    std::unique_ptr<PKCS7, decltype(&PKCS7_free)> p7(d2i_PKCS7(nullptr, &p, static_cast<long>(der.size())), PKCS7_free);
    ASSERT_TRUE(p7) << name << ": not a PKCS#7 structure";
    ASSERT_TRUE(PKCS7_type_is_signed(p7.get())) << name;
    STACK_OF(PKCS7_SIGNER_INFO)* signers = PKCS7_get_signer_info(p7.get());
    ASSERT_EQ(sk_PKCS7_SIGNER_INFO_num(signers), 1) << name;
    PKCS7_SIGNER_INFO* si = sk_PKCS7_SIGNER_INFO_value(signers, 0);

    // The certificate inside is the signer's.
    std::string certDer = tokenCertificate(keyFixture);
    ASSERT_NE(der.find(certDer), std::string::npos) << name;
    const auto* c = reinterpret_cast<const unsigned char*>(certDer.data());
    std::unique_ptr<X509, decltype(&X509_free)> cert(d2i_X509(nullptr, &c, static_cast<long>(certDer.size())),
                                                     X509_free);
    EVP_PKEY* key = X509_get0_pubkey(cert.get());
    bool sm2 = EVP_PKEY_is_a(key, "SM2") || EVP_PKEY_is_a(key, "EC");

    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> md(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> pctx(EVP_PKEY_CTX_new(key, nullptr), EVP_PKEY_CTX_free);
    if (sm2) {
        // Z with the default signer identity, as GM/T 0009 asks.
        ASSERT_EQ(EVP_PKEY_CTX_set1_id(pctx.get(), "1234567812345678", 16), 1);
        EVP_MD_CTX_set_pkey_ctx(md.get(), pctx.get());
    }
    int init = EVP_DigestVerifyInit(md.get(), nullptr, sm2 ? EVP_sm3() : EVP_sha1(), nullptr, key);
    if (init != 1) ERR_print_errors_fp(stderr);
    ASSERT_EQ(init, 1) << name;
    const ASN1_OCTET_STRING* sig = si->enc_digest;
    EXPECT_EQ(EVP_DigestVerify(md.get(), sig->data, static_cast<size_t>(sig->length),
                               reinterpret_cast<const unsigned char*>(data.data()), data.size()),
              1)
        << name << ": the signature does not verify";
}
