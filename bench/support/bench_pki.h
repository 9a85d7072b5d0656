// Keys and certificates the benchmarks make for themselves with OpenSSL.
#pragma once

#include <openssl/bn.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <memory>
#include <string>

struct PkeyFree {
    void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }
};
struct X509Free {
    void operator()(X509* x) const { X509_free(x); }
};
struct BnFree {
    void operator()(BIGNUM* b) const { BN_free(b); }
};
using Pkey = std::unique_ptr<EVP_PKEY, PkeyFree>;
using Cert = std::unique_ptr<X509, X509Free>;
using Bn = std::unique_ptr<BIGNUM, BnFree>;

// Throws std::runtime_error naming `what` when `ok` is false: a setup that
// failed must not be timed.
void check(bool ok, const char* what);

// A self-signed SM2 signing certificate: subject C=CN, O=dsc bench, OU=`unit`, CN=`cn`.
struct Issued {
    Pkey key;
    std::string der;
    std::string dn;  // as the library renders it, for the DN search
};
Issued issue(const std::string& unit, const std::string& cn, long serial);

// The key as a PEM PKCS#8 text, the form the Linux stores keep beside a
// certificate.
std::string pemOf(EVP_PKEY* key);
