// The cryptography of verification, all of it libgcrypt's: digests, RSA
// PKCS#1 v1.5 and SM2 signature checks. Z of SM2 (GB/T 32918.2) is a hash
// of the signer identity, the curve and the key, computed here with SM3.
#pragma once

#include <string>
#include <vector>

using Bytes = std::vector<unsigned char>;

struct DigestKind {
    int algorithm = 0;          // libgcrypt's GCRY_MD_*, 0 when unknown
    const char* name = "";      // "SHA-256", as people name it
    const char* sexpName = "";  // "sha256", as libgcrypt names it in S-expressions
};

// Call once before any other function here.
void crypto_init();

// The digest an OID names (SHA-1, SHA-2 family, SM3), or algorithm 0.
DigestKind digest_kind(const std::string& oid);

Bytes digest(const DigestKind& kind, const unsigned char* data, size_t length);

enum class SignatureCheck { kValid, kInvalid, kUnusableKey };

// RSASSA-PKCS1-v1_5 over `hash`; `key` is the certificate's RSAPublicKey.
SignatureCheck rsa_verify(const Bytes& key, const DigestKind& kind, const Bytes& hash, const Bytes& signature);

// e = SM3(Z || message), Z from the identity and the key point (04 || x || y).
Bytes sm2_e(const Bytes& point, const std::string& id, const unsigned char* message, size_t length);

// SM2 over e; the signature is a DER SEQUENCE { r, s } and nothing else.
SignatureCheck sm2_verify(const Bytes& point, const Bytes& e, const Bytes& signature);
