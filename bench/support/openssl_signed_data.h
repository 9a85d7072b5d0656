// The peer of the library's encoder: the same SignedData built with
// OpenSSL's PKCS7 objects (one signer, no attributes, the certificate, the
// content attached) and written with i2d_PKCS7.
#pragma once

#include <openssl/x509.h>

#include <cstddef>

// Length of the SignedData's DER, stored in `der` (OPENSSL_free); 0 when
// OpenSSL refused a step. digestOid and signatureOid are dotted texts.
int openssl_signedData(const unsigned char* content, size_t contentLen, X509* cert, const unsigned char* sig,
                       size_t sigLen, const char* digestOid, const char* signatureOid, unsigned char** der);

// Base64 of the DER in one block, NUL-terminated, in `text` (OPENSSL_free);
// returns its length.
int openssl_base64(const unsigned char* der, int len, char** text);

constexpr const char* kSm3Oid = "1.2.156.10197.1.401";
constexpr const char* kSm2SignOid = "1.2.156.10197.1.301.1";
