// Verification of a CMS / PKCS#7 SignedData: every signer, RSA PKCS#1 v1.5
// (SHA-1, SHA-2) or SM2 with SM3 over Z || data, with or without signed
// attributes, the signer named by issuer and serial number or by subject key
// identifier, optionally chained to trust anchors. The cryptography is
// libgcrypt's (crypto.h); the structure is read by signed_data.h.
#pragma once

#include <string>
#include <vector>

#include "certificate.h"

// What went wrong, one category per message; each maps to one exit status.
enum class Verdict {
    kValid,
    kBadSignature,     // the signature does not fit the signed bytes and the signer's key
    kDigestMismatch,   // the message-digest attribute differs from the content's digest
    kContentMismatch,  // the attached content differs from the content given
    kUntrusted,        // the signer certificate does not chain to a --ca certificate
    kMalformed,        // not a SignedData, or a field that cannot be read
    kUnsupported,      // a form or algorithm this verifier does not handle
    kNoContent,        // detached, and no content was given
};

struct SignerReport {
    Verdict verdict = Verdict::kMalformed;
    std::string reason;       // for every verdict but kValid
    std::string signer;       // the signer certificate's subject, when found
    std::string serial;       // its serial number in hexadecimal
    std::string algorithm;    // e.g. "SM2 with SM3, signer identity 1234567812345678"
    std::string signingTime;  // "2026-12-10 22:04:21 UTC", from the signing-time attribute
    std::string trust;        // what was checked about the certificate
};

struct VerifyReport {
    Verdict verdict = Verdict::kMalformed;  // of the whole SignedData: valid only if every signer is
    std::string reason;                     // when the SignedData itself failed
    bool attached = false;
    size_t contentLength = 0;
    std::vector<SignerReport> signers;
};

struct VerifyOptions {
    const std::vector<unsigned char>* content = nullptr;  // the data of a detached one, or to compare
    std::string sm2Id;
    const std::vector<Certificate>* anchors = nullptr;  // --ca, or null
};

// The default signer identity of SM2 signatures.
extern const char kDefaultSm2Id[];

VerifyReport verify_signed_data(const std::vector<unsigned char>& der, const VerifyOptions& options);

// The exit status of a verdict: 0 valid, 1 wrong, 2 unsupported or a usage error.
int verdict_exit_status(Verdict v);

// The verdict's name in messages: "bad signature", "unsupported", ...
const char* verdict_name(Verdict v);

// Reads a PEM bundle of certificates; false when it holds none or a
// certificate cannot be read.
bool read_anchors(const std::vector<unsigned char>& pem, std::vector<Certificate>& out, std::string& error);
