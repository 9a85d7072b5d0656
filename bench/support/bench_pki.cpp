#include "bench_pki.h"

#include <openssl/pem.h>
#include <openssl/x509v3.h>

#include <stdexcept>

void check(bool ok, const char* what)
{
    if (!ok) throw std::runtime_error(what);
}

Issued issue(const std::string& unit, const std::string& cn, long serial)
{
    Issued out;
    out.key.reset(EVP_PKEY_Q_keygen(nullptr, nullptr, "SM2"));
    check(out.key != nullptr, "SM2 key generation");
    Cert cert(X509_new());
    X509_set_version(cert.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), serial);
    X509_NAME* name = X509_get_subject_name(cert.get());
    auto add = [&](const char* field, const std::string& value) {
        X509_NAME_add_entry_by_txt(name, field, MBSTRING_UTF8, reinterpret_cast<const unsigned char*>(value.c_str()),
                                   -1, -1, 0);
    };
    add("C", "CN");
    add("O", "dsc bench");
    add("OU", unit);
    add("CN", cn);
    X509_set_issuer_name(cert.get(), name);
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), 365L * 24 * 3600);
    X509_set_pubkey(cert.get(), out.key.get());
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, cert.get(), cert.get(), nullptr, nullptr, 0);
    X509_EXTENSION* usage = X509V3_EXT_conf_nid(nullptr, &ctx, NID_key_usage,
                                                "critical,digitalSignature,nonRepudiation");
    check(usage != nullptr, "keyUsage");
    X509_add_ext(cert.get(), usage, -1);
    X509_EXTENSION_free(usage);
    check(X509_sign(cert.get(), out.key.get(), EVP_sm3()) > 0, "X509_sign");
    unsigned char* der = nullptr;
    int len = i2d_X509(cert.get(), &der);
    check(len > 0, "i2d_X509");
    out.der.assign(reinterpret_cast<char*>(der), static_cast<size_t>(len));
    OPENSSL_free(der);
    out.dn = "C=CN, O=dsc bench, OU=" + unit + ", CN=" + cn;
    return out;
}

std::string pemOf(EVP_PKEY* key)
{
    std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new(BIO_s_mem()), BIO_free);
    check(bio && PEM_write_bio_PrivateKey(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr) == 1,
          "PEM_write_bio_PrivateKey");
    char* text = nullptr;
    long len = BIO_get_mem_data(bio.get(), &text);
    return std::string(text, static_cast<size_t>(len));
}
