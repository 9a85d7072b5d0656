// The verifier on OpenSSL: the SignedData parsed by d2i_PKCS7, the signature
// checked by EVP_DigestVerify (for SM2 with the identity set on the key
// context, so that OpenSSL computes Z).
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>

#include <cstring>
#include <memory>

#include "verify.h"

const char kDefaultSm2Id[] = "1234567812345678";

const char* verify_missing() { return nullptr; }

namespace {

template <typename T, void (*Free)(T*)>
struct Deleter {
    void operator()(T* p) const { Free(p); }
};
using Pkcs7Ptr = std::unique_ptr<PKCS7, Deleter<PKCS7, PKCS7_free>>;
using MdCtxPtr = std::unique_ptr<EVP_MD_CTX, Deleter<EVP_MD_CTX, EVP_MD_CTX_free>>;
using PkeyCtxPtr = std::unique_ptr<EVP_PKEY_CTX, Deleter<EVP_PKEY_CTX, EVP_PKEY_CTX_free>>;
using BioPtr = std::unique_ptr<BIO, Deleter<BIO, BIO_free_all>>;

// The two shapes the library makes.
enum class Scheme { kRsaSha1, kSm2Sm3 };

std::string oid_text(const ASN1_OBJECT* oid)
{
    char text[128] = {};
    OBJ_obj2txt(text, sizeof text, oid, 1);
    return text;
}

// The signature algorithms that go with each digest. The library writes the
// SM2 signature OID 1.2.156.10197.1.301.1; the SM2 key OID and SM2-with-SM3
// are accepted as other writers use them.
bool scheme_of(const X509_ALGOR* digest, const X509_ALGOR* signature, Scheme& scheme, std::string& why)
{
    std::string d = oid_text(digest->algorithm), s = oid_text(signature->algorithm);
    if (d == "1.3.14.3.2.26" && (s == "1.2.840.113549.1.1.1" || s == "1.2.840.113549.1.1.5")) {
        scheme = Scheme::kRsaSha1;
        return true;
    }
    if (d == "1.2.156.10197.1.401" &&
        (s == "1.2.156.10197.1.301.1" || s == "1.2.156.10197.1.301" || s == "1.2.156.10197.1.501")) {
        scheme = Scheme::kSm2Sm3;
        return true;
    }
    why = "digest " + d + " with signature algorithm " + s + " (supported: SHA-1 with RSA, SM3 with SM2)";
    return false;
}

std::string subject_text(X509* cert)
{
    BioPtr bio(BIO_new(BIO_s_mem()));
    if (!bio) return {};
    X509_NAME_print_ex(bio.get(), X509_get_subject_name(cert), 0,
                       XN_FLAG_SEP_CPLUS_SPC | XN_FLAG_FN_SN | ASN1_STRFLGS_UTF8_CONVERT | ASN1_STRFLGS_ESC_CTRL);
    char* data = nullptr;
    long n = BIO_get_mem_data(bio.get(), &data);
    return n > 0 ? std::string(data, static_cast<size_t>(n)) : std::string();
}

bool listed_digest(const STACK_OF(X509_ALGOR) * digests, const X509_ALGOR* digest)
{
    for (int i = 0; i < sk_X509_ALGOR_num(digests); ++i)
        if (OBJ_cmp(sk_X509_ALGOR_value(digests, i)->algorithm, digest->algorithm) == 0) return true;
    return false;
}

X509* signer_certificate(const STACK_OF(X509) * certs, const PKCS7_ISSUER_AND_SERIAL* id)
{
    for (int i = 0; i < sk_X509_num(certs); ++i) {
        X509* cert = sk_X509_value(certs, i);
        if (X509_NAME_cmp(X509_get_issuer_name(cert), id->issuer) == 0 &&
            ASN1_INTEGER_cmp(X509_get0_serialNumber(cert), id->serial) == 0)
            return cert;
    }
    return nullptr;
}

std::string openssl_reason()
{
    unsigned long e = ERR_peek_last_error();
    const char* text = e ? ERR_reason_error_string(e) : nullptr;
    ERR_clear_error();
    return text ? std::string(" (OpenSSL: ") + text + ")" : std::string();
}

VerifyReport fail(VerifyReport r, VerifyOutcome outcome, const std::string& reason)
{
    r.outcome = outcome;
    r.reason = reason;
    return r;
}

}  // namespace

VerifyReport verify_signed_data(const std::vector<unsigned char>& der, const std::vector<unsigned char>* content,
                                const std::string& sm2Id)
{
    VerifyReport r;
    const unsigned char* p = der.data();
    Pkcs7Ptr p7(d2i_PKCS7(nullptr, &p, static_cast<long>(der.size())));
    if (!p7) return fail(r, VerifyOutcome::kMalformed, "not a DER PKCS#7 structure" + openssl_reason());
    if (p != der.data() + der.size()) return fail(r, VerifyOutcome::kMalformed, "bytes follow the PKCS#7 structure");
    if (!PKCS7_type_is_signed(p7.get()) || !p7->d.sign)
        return fail(r, VerifyOutcome::kMalformed, "the PKCS#7 structure is not a SignedData");
    PKCS7_SIGNED* sd = p7->d.sign;
    if (!sd->contents || !PKCS7_type_is_data(sd->contents))
        return fail(r, VerifyOutcome::kMalformed, "the SignedData does not hold pkcs7-data content");

    STACK_OF(PKCS7_SIGNER_INFO)* signers = PKCS7_get_signer_info(p7.get());
    if (sk_PKCS7_SIGNER_INFO_num(signers) != 1)
        return fail(r, VerifyOutcome::kMalformed,
                    "the SignedData has " + std::to_string(sk_PKCS7_SIGNER_INFO_num(signers)) +
                        " signers; one is expected");
    PKCS7_SIGNER_INFO* si = sk_PKCS7_SIGNER_INFO_value(signers, 0);
    if (!si->issuer_and_serial || !si->digest_alg || !si->digest_enc_alg || !si->enc_digest)
        return fail(r, VerifyOutcome::kMalformed, "the signer information is incomplete");
    // With authenticated attributes the signature covers them, not the
    // content; the library never writes any.
    if (sk_X509_ATTRIBUTE_num(si->auth_attr) > 0)
        return fail(r, VerifyOutcome::kUnknownAlgorithm,
                    "the signer has authenticated attributes, which this verifier does not check");

    Scheme scheme;
    std::string why;
    if (!scheme_of(si->digest_alg, si->digest_enc_alg, scheme, why))
        return fail(r, VerifyOutcome::kUnknownAlgorithm, why);
    if (!listed_digest(sd->md_algs, si->digest_alg))
        return fail(r, VerifyOutcome::kMalformed, "the signer's digest algorithm is not among the SignedData's");
    r.algorithm = scheme == Scheme::kRsaSha1 ? "RSA with SHA-1 (PKCS#1 v1.5)"
                                             : "SM2 with SM3, signer identity " + sm2Id;

    X509* cert = signer_certificate(sd->cert, si->issuer_and_serial);
    if (!cert)
        return fail(r, VerifyOutcome::kBadSignature,
                    "no certificate in the SignedData matches the signer's issuer and serial number");
    r.signer = subject_text(cert);
    EVP_PKEY* key = X509_get0_pubkey(cert);
    bool keyFits = key && (scheme == Scheme::kRsaSha1 ? EVP_PKEY_is_a(key, "RSA") : EVP_PKEY_is_a(key, "SM2"));
    if (!keyFits)
        return fail(r, VerifyOutcome::kUnknownAlgorithm,
                    std::string("the signer certificate's key is not ") +
                        (scheme == Scheme::kRsaSha1 ? "an RSA key" : "an SM2 key"));

    const ASN1_OCTET_STRING* attached = sd->contents->d.data;
    r.attached = attached && attached->length > 0;
    const unsigned char* data = nullptr;
    size_t length = 0;
    if (r.attached) {
        data = attached->data;
        length = static_cast<size_t>(attached->length);
        if (content && (content->size() != length || std::memcmp(content->data(), data, length) != 0))
            return fail(r, VerifyOutcome::kContentMismatch, "the attached content differs from the content given");
    } else if (content) {
        data = content->data();
        length = content->size();
    } else {
        return fail(r, VerifyOutcome::kNoContent, "the SignedData is detached; give its content with --content FILE");
    }
    r.contentLength = length;

    // The key context outlives the digest context that borrows it.
    PkeyCtxPtr keyCtx(EVP_PKEY_CTX_new_from_pkey(nullptr, key, nullptr));
    MdCtxPtr md(EVP_MD_CTX_new());
    if (!md || !keyCtx) return fail(r, VerifyOutcome::kMalformed, "out of memory" + openssl_reason());
    // The SM2 identity belongs to the key context before the digest starts:
    // Z = SM3(ENTL || ID || curve || key) is hashed in front of the data.
    bool ready = scheme == Scheme::kRsaSha1 || EVP_PKEY_CTX_set1_id(keyCtx.get(), sm2Id.data(), sm2Id.size()) == 1;
    EVP_MD_CTX_set_pkey_ctx(md.get(), keyCtx.get());
    ready = ready && EVP_DigestVerifyInit(md.get(), nullptr, scheme == Scheme::kRsaSha1 ? EVP_sha1() : EVP_sm3(),
                                          nullptr, key) == 1;
    if (!ready)
        return fail(r, VerifyOutcome::kUnknownAlgorithm, "OpenSSL cannot verify with this key" + openssl_reason());
    int rc = EVP_DigestVerify(md.get(), si->enc_digest->data, static_cast<size_t>(si->enc_digest->length), data,
                              length);
    if (rc != 1)
        return fail(r, VerifyOutcome::kBadSignature,
                    "the signature does not match the content and the signer's key" + openssl_reason());
    ERR_clear_error();
    r.outcome = VerifyOutcome::kVerified;
    return r;
}
