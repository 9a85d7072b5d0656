#include "openssl_signed_data.h"

#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/pkcs7.h>

#include <memory>

namespace {

ASN1_OBJECT* objectOf(const char* oid) { return OBJ_txt2obj(oid, 1); }

}  // namespace

int openssl_signedData(const unsigned char* content, size_t contentLen, X509* cert, const unsigned char* sig,
                       size_t sigLen, const char* digestOid, const char* signatureOid, unsigned char** der)
{
    std::unique_ptr<PKCS7, decltype(&PKCS7_free)> p7(PKCS7_new(), PKCS7_free);
    if (!p7 || PKCS7_set_type(p7.get(), NID_pkcs7_signed) != 1) return 0;
    if (PKCS7_content_new(p7.get(), NID_pkcs7_data) != 1) return 0;
    if (ASN1_OCTET_STRING_set(p7->d.sign->contents->d.data, content, static_cast<int>(contentLen)) != 1) return 0;
    if (PKCS7_add_certificate(p7.get(), cert) != 1) return 0;

    PKCS7_SIGNER_INFO* si = PKCS7_SIGNER_INFO_new();
    if (si == nullptr) return 0;
    bool ok = ASN1_INTEGER_set(si->version, 1) == 1 &&
              X509_NAME_set(&si->issuer_and_serial->issuer, X509_get_issuer_name(cert)) == 1;
    if (ok) {
        ASN1_INTEGER_free(si->issuer_and_serial->serial);
        si->issuer_and_serial->serial = ASN1_INTEGER_dup(X509_get0_serialNumber(cert));
        ok = si->issuer_and_serial->serial != nullptr;
    }
    ok = ok && X509_ALGOR_set0(si->digest_alg, objectOf(digestOid), V_ASN1_NULL, nullptr) == 1 &&
         X509_ALGOR_set0(si->digest_enc_alg, objectOf(signatureOid), V_ASN1_NULL, nullptr) == 1 &&
         ASN1_OCTET_STRING_set(si->enc_digest, sig, static_cast<int>(sigLen)) == 1;
    // The SignedData owns the signer from here on, also on failure.
    if (!ok || PKCS7_add_signer(p7.get(), si) != 1) {
        PKCS7_SIGNER_INFO_free(si);
        return 0;
    }

    *der = nullptr;
    int len = i2d_PKCS7(p7.get(), der);
    return len > 0 ? len : 0;
}

int openssl_base64(const unsigned char* der, int len, char** text)
{
    *text = static_cast<char*>(OPENSSL_malloc(static_cast<size_t>(len + 2) / 3 * 4 + 1));
    if (*text == nullptr) return 0;
    return EVP_EncodeBlock(reinterpret_cast<unsigned char*>(*text), der, len);
}
