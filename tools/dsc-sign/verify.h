// Verification of the PKCS#7 SignedData the library makes, by OpenSSL's
// EVP interfaces: RSA PKCS#1 v1.5 with SHA-1, and SM2 with SM3 over Z || M,
// Z computed from the signer identity. No cryptography of our own.
#pragma once

#include <string>
#include <vector>

enum class VerifyOutcome {
    kVerified,
    kBadSignature,      // the signature does not fit the content and the signer's key
    kContentMismatch,   // the attached content differs from the content given
    kUnknownAlgorithm,  // a digest, signature or key algorithm other than the two supported pairs
    kMalformed,         // not a SignedData of the expected shape
    kNoContent,         // detached, and no content was given
    kUnavailable,       // this build has no verifier
};

struct VerifyReport {
    VerifyOutcome outcome = VerifyOutcome::kMalformed;
    std::string reason;     // for every outcome but kVerified
    std::string signer;     // the signer certificate's subject, when found
    std::string algorithm;  // e.g. "SM2 with SM3, signer identity 1234567812345678"
    bool attached = false;
    size_t contentLength = 0;
};

// Why this build cannot verify, or null when it can.
const char* verify_missing();

// The default signer identity of SM2 signatures.
extern const char kDefaultSm2Id[];

// Checks the SignedData in `der`; `content` (null when not given) is the
// data of a detached one, or must equal the attached data.
VerifyReport verify_signed_data(const std::vector<unsigned char>& der, const std::vector<unsigned char>* content,
                                const std::string& sm2Id);
