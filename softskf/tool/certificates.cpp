#include "certificates.h"

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509v3.h>

#include <filesystem>
#include <memory>

#include "tool_error.h"

namespace {

template <class T, void (*Free)(T*)>
struct Deleter {
    void operator()(T* p) const { Free(p); }
};
using Pkey = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY, EVP_PKEY_free>>;
using Cert = std::unique_ptr<X509, Deleter<X509, X509_free>>;
using PkeyCtx = std::unique_ptr<EVP_PKEY_CTX, Deleter<EVP_PKEY_CTX, EVP_PKEY_CTX_free>>;
using ParamBld = std::unique_ptr<OSSL_PARAM_BLD, Deleter<OSSL_PARAM_BLD, OSSL_PARAM_BLD_free>>;
using Params = std::unique_ptr<OSSL_PARAM, Deleter<OSSL_PARAM, OSSL_PARAM_free>>;
using Bignum = std::unique_ptr<BIGNUM, Deleter<BIGNUM, BN_free>>;
using Bio = std::unique_ptr<BIO, Deleter<BIO, BIO_free_all>>;

[[noreturn]] void fail(const std::string& what)
{
    unsigned long code = ERR_get_error();
    char reason[256] = "";
    if (code) ERR_error_string_n(code, reason, sizeof reason);
    throw ToolError(what + (code ? std::string(": ") + reason : std::string()));
}

Pkey public_key(const char* type, OSSL_PARAM_BLD* build)
{
    Params params(OSSL_PARAM_BLD_to_param(build));
    PkeyCtx ctx(EVP_PKEY_CTX_new_from_name(nullptr, type, nullptr));
    EVP_PKEY* key = nullptr;
    if (!params || !ctx || EVP_PKEY_fromdata_init(ctx.get()) <= 0 ||
        EVP_PKEY_fromdata(ctx.get(), &key, EVP_PKEY_PUBLIC_KEY, params.get()) <= 0)
        fail(std::string("cannot use the token's ") + type + " public key");
    return Pkey(key);
}

Pkey sm2_key_from_blob(const ECCPUBLICKEYBLOB& blob)
{
    unsigned char point[65] = {0x04};
    std::copy(blob.XCoordinate + 32, blob.XCoordinate + 64, point + 1);
    std::copy(blob.YCoordinate + 32, blob.YCoordinate + 64, point + 33);
    ParamBld build(OSSL_PARAM_BLD_new());
    OSSL_PARAM_BLD_push_utf8_string(build.get(), OSSL_PKEY_PARAM_GROUP_NAME, "SM2", 0);
    OSSL_PARAM_BLD_push_octet_string(build.get(), OSSL_PKEY_PARAM_PUB_KEY, point, sizeof point);
    return public_key("SM2", build.get());
}

Pkey rsa_key_from_blob(const RSAPUBLICKEYBLOB& blob)
{
    Bignum n(BN_bin2bn(blob.Modulus, sizeof blob.Modulus, nullptr));
    Bignum e(BN_bin2bn(blob.PublicExponent, sizeof blob.PublicExponent, nullptr));
    ParamBld build(OSSL_PARAM_BLD_new());
    OSSL_PARAM_BLD_push_BN(build.get(), OSSL_PKEY_PARAM_RSA_N, n.get());
    OSSL_PARAM_BLD_push_BN(build.get(), OSSL_PKEY_PARAM_RSA_E, e.get());
    return public_key("RSA", build.get());
}

void set_name(X509_NAME* name, const std::string& text)
{
    // "/CN=a/O=b": the form `openssl req -subj` takes.
    if (text.empty() || text[0] != '/') throw ToolError("subject must look like /CN=name/O=org: " + text);
    std::size_t at = 1;
    while (at < text.size()) {
        std::size_t end = text.find('/', at);
        if (end == std::string::npos) end = text.size();
        std::string part = text.substr(at, end - at);
        std::size_t eq = part.find('=');
        if (eq == std::string::npos ||
            !X509_NAME_add_entry_by_txt(name, part.substr(0, eq).c_str(), MBSTRING_UTF8,
                                        reinterpret_cast<const unsigned char*>(part.c_str() + eq + 1), -1, -1, 0))
            fail("bad subject part: " + part);
        at = end + 1;
    }
}

void add_extension(X509* cert, X509* issuer, int nid, const char* value)
{
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
    if (!ext || !X509_add_ext(cert, ext, -1)) fail("cannot add certificate extension");
    X509_EXTENSION_free(ext);
}

const EVP_MD* digest_for(EVP_PKEY* signer) { return EVP_PKEY_is_a(signer, "SM2") ? EVP_sm3() : EVP_sha256(); }

// An SM2 certificate signature is over Z with the default signer identity,
// as GM/T 0015 and every SM2 verifier expect. OpenSSL 3 takes no identity
// when none is set, so it is set here on the key context.
void sign_certificate(X509* cert, EVP_PKEY* issuer_key)
{
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> md(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> key(
        EVP_PKEY_CTX_new_from_pkey(nullptr, issuer_key, nullptr), EVP_PKEY_CTX_free);
    static const char kDefaultId[] = "1234567812345678";
    bool sm2 = EVP_PKEY_is_a(issuer_key, "SM2");
    bool ok = md && key && (!sm2 || EVP_PKEY_CTX_set1_id(key.get(), kDefaultId, sizeof kDefaultId - 1) == 1);
    if (ok) EVP_MD_CTX_set_pkey_ctx(md.get(), key.get());
    ok = ok && EVP_DigestSignInit(md.get(), nullptr, digest_for(issuer_key), nullptr, issuer_key) == 1 &&
         X509_sign_ctx(cert, md.get()) > 0;
    if (!ok) fail("cannot sign the certificate");
}

Cert make_certificate(EVP_PKEY* subject_key, const CertificateRequest& request, X509* issuer, EVP_PKEY* issuer_key,
                      bool is_ca)
{
    Cert cert(X509_new());
    unsigned char serial[16];
    RAND_bytes(serial, sizeof serial);
    serial[0] &= 0x7F;
    Bignum bn(BN_bin2bn(serial, sizeof serial, nullptr));
    BN_to_ASN1_INTEGER(bn.get(), X509_get_serialNumber(cert.get()));
    X509_set_version(cert.get(), 2);
    set_name(X509_get_subject_name(cert.get()), request.subject);
    X509_set_issuer_name(cert.get(), issuer ? X509_get_subject_name(issuer) : X509_get_subject_name(cert.get()));
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), static_cast<long>(request.days) * 86400L);
    X509_set_pubkey(cert.get(), subject_key);
    X509* signer_cert = issuer ? issuer : cert.get();
    add_extension(cert.get(), signer_cert, NID_basic_constraints, is_ca ? "critical,CA:TRUE" : "critical,CA:FALSE");
    add_extension(cert.get(), signer_cert, NID_key_usage,
                  is_ca ? "critical,keyCertSign,cRLSign" : "critical,digitalSignature,nonRepudiation");
    add_extension(cert.get(), signer_cert, NID_subject_key_identifier, "hash");
    if (issuer) add_extension(cert.get(), signer_cert, NID_authority_key_identifier, "keyid:always");
    sign_certificate(cert.get(), issuer_key);
    return cert;
}

struct Ca {
    Pkey key;
    Cert cert;
};

Ca load_or_create_ca(const std::string& dir, const char* type)
{
    namespace fs = std::filesystem;
    std::string base = std::string(type) == "SM2" ? "sm2-ca" : "rsa-ca";
    fs::path key_path = fs::path(dir) / (base + ".key"), cert_path = fs::path(dir) / (base + ".crt");
    Ca ca;
    if (fs::exists(key_path) && fs::exists(cert_path)) {
        Bio key_in(BIO_new_file(key_path.c_str(), "r")), cert_in(BIO_new_file(cert_path.c_str(), "r"));
        if (key_in) ca.key.reset(PEM_read_bio_PrivateKey(key_in.get(), nullptr, nullptr, nullptr));
        if (cert_in) ca.cert.reset(PEM_read_bio_X509(cert_in.get(), nullptr, nullptr, nullptr));
        if (!ca.key || !ca.cert) fail("cannot read the test CA in " + dir);
        return ca;
    }
    fs::create_directories(dir);
    ca.key.reset(std::string(type) == "SM2" ? EVP_PKEY_Q_keygen(nullptr, nullptr, "SM2")
                                            : EVP_PKEY_Q_keygen(nullptr, nullptr, "RSA", static_cast<size_t>(2048)));
    if (!ca.key) fail("cannot generate the test CA key");
    CertificateRequest request;
    request.subject = std::string("/CN=softskf test CA (") + type + ")/O=softskf";
    request.days = 3650;
    ca.cert = make_certificate(ca.key.get(), request, nullptr, ca.key.get(), true);
    Bio key_out(BIO_new_file(key_path.c_str(), "w")), cert_out(BIO_new_file(cert_path.c_str(), "w"));
    if (!key_out || !cert_out ||
        !PEM_write_bio_PrivateKey(key_out.get(), ca.key.get(), nullptr, nullptr, 0, nullptr, nullptr) ||
        !PEM_write_bio_X509(cert_out.get(), ca.cert.get()))
        fail("cannot write the test CA to " + dir);
    fs::permissions(key_path, fs::perms::owner_read | fs::perms::owner_write);
    return ca;
}

ByteString to_der(X509* cert)
{
    int n = i2d_X509(cert, nullptr);
    if (n <= 0) fail("cannot encode the certificate");
    ByteString der(static_cast<std::size_t>(n));
    unsigned char* p = der.data();
    i2d_X509(cert, &p);
    return der;
}

ByteString issue(const std::string& ca_dir, const char* type, EVP_PKEY* subject_key, const CertificateRequest& request)
{
    Ca ca = load_or_create_ca(ca_dir, type);
    Cert cert = make_certificate(subject_key, request, ca.cert.get(), ca.key.get(), false);
    return to_der(cert.get());
}

softskf::Bytes bn_bytes(EVP_PKEY* key, const char* name, std::size_t width = 0)
{
    BIGNUM* bn = nullptr;
    if (!EVP_PKEY_get_bn_param(key, name, &bn)) fail(std::string("key has no ") + name);
    Bignum owner(bn);
    std::size_t size = width ? width : static_cast<std::size_t>(BN_num_bytes(bn));
    softskf::Bytes out(size);
    if (BN_bn2binpad(bn, out.data(), static_cast<int>(size)) < 0) fail(std::string("key part too long: ") + name);
    return out;
}

}  // namespace

ByteString issue_sm2_certificate(const std::string& ca_dir, const ECCPUBLICKEYBLOB& key,
                                 const CertificateRequest& request)
{
    Pkey subject = sm2_key_from_blob(key);
    return issue(ca_dir, "SM2", subject.get(), request);
}

ByteString issue_rsa_certificate(const std::string& ca_dir, const RSAPUBLICKEYBLOB& key,
                                 const CertificateRequest& request)
{
    Pkey subject = rsa_key_from_blob(key);
    return issue(ca_dir, "RSA", subject.get(), request);
}

softskf::KeyPair key_from_pem_file(const std::string& path)
{
    Bio in(BIO_new_file(path.c_str(), "r"));
    Pkey key(in ? PEM_read_bio_PrivateKey(in.get(), nullptr, nullptr, nullptr) : nullptr);
    if (!key) fail("cannot read a private key from " + path);
    softskf::KeyPair pair;
    if (EVP_PKEY_is_a(key.get(), "RSA")) {
        pair.type = softskf::KeyType::rsa;
        pair.n = bn_bytes(key.get(), OSSL_PKEY_PARAM_RSA_N);
        pair.e = bn_bytes(key.get(), OSSL_PKEY_PARAM_RSA_E);
        pair.d = bn_bytes(key.get(), OSSL_PKEY_PARAM_RSA_D);
        pair.p = bn_bytes(key.get(), OSSL_PKEY_PARAM_RSA_FACTOR1);
        pair.q = bn_bytes(key.get(), OSSL_PKEY_PARAM_RSA_FACTOR2);
        int bits = EVP_PKEY_get_bits(key.get());
        if (bits != 1024 && bits != 2048) throw ToolError("RSA keys on the token have 1024 or 2048 bits");
        return pair;
    }
    char group[64] = "";
    EVP_PKEY_get_utf8_string_param(key.get(), OSSL_PKEY_PARAM_GROUP_NAME, group, sizeof group, nullptr);
    if (!EVP_PKEY_is_a(key.get(), "SM2") && std::string(group) != "SM2")
        throw ToolError(path + " holds neither an SM2 nor an RSA key");
    pair.type = softskf::KeyType::sm2;
    pair.d = bn_bytes(key.get(), OSSL_PKEY_PARAM_PRIV_KEY, 32);
    pair.x = bn_bytes(key.get(), OSSL_PKEY_PARAM_EC_PUB_X, 32);
    pair.y = bn_bytes(key.get(), OSSL_PKEY_PARAM_EC_PUB_Y, 32);
    return pair;
}

ByteString certificate_from_pem_file(const std::string& path)
{
    Bio in(BIO_new_file(path.c_str(), "r"));
    Cert cert(in ? PEM_read_bio_X509(in.get(), nullptr, nullptr, nullptr) : nullptr);
    if (!cert) fail("cannot read a PEM certificate from " + path);
    return to_der(cert.get());
}

std::string certificate_to_pem(const ByteString& der)
{
    const unsigned char* p = der.data();
    Cert cert(d2i_X509(nullptr, &p, static_cast<long>(der.size())));
    Bio out(BIO_new(BIO_s_mem()));
    if (!cert || !PEM_write_bio_X509(out.get(), cert.get())) fail("not a certificate");
    char* data = nullptr;
    long n = BIO_get_mem_data(out.get(), &data);
    return std::string(data, static_cast<std::size_t>(n));
}

std::string describe_certificate(const ByteString& der)
{
    const unsigned char* p = der.data();
    Cert cert(d2i_X509(nullptr, &p, static_cast<long>(der.size())));
    if (!cert) return "not a readable X.509 certificate (" + std::to_string(der.size()) + " bytes)";
    Bio out(BIO_new(BIO_s_mem()));
    BIO_puts(out.get(), "subject=");
    X509_NAME_print_ex(out.get(), X509_get_subject_name(cert.get()), 0, XN_FLAG_ONELINE);
    BIO_puts(out.get(), ", issuer=");
    X509_NAME_print_ex(out.get(), X509_get_issuer_name(cert.get()), 0, XN_FLAG_ONELINE);
    BIO_puts(out.get(), ", until ");
    ASN1_TIME_print(out.get(), X509_get0_notAfter(cert.get()));
    char* data = nullptr;
    long n = BIO_get_mem_data(out.get(), &data);
    return std::string(data, static_cast<std::size_t>(n));
}

ByteString sm2_signature_to_der(const ECCSIGNATUREBLOB& signature)
{
    ECDSA_SIG* sig = ECDSA_SIG_new();
    ECDSA_SIG_set0(sig, BN_bin2bn(signature.r, sizeof signature.r, nullptr),
                   BN_bin2bn(signature.s, sizeof signature.s, nullptr));
    int n = i2d_ECDSA_SIG(sig, nullptr);
    ByteString der(n > 0 ? static_cast<std::size_t>(n) : 0);
    unsigned char* p = der.data();
    if (n > 0) i2d_ECDSA_SIG(sig, &p);
    ECDSA_SIG_free(sig);
    if (n <= 0) fail("cannot encode the SM2 signature");
    return der;
}
