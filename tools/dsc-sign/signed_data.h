// The structure of a CMS / PKCS#7 SignedData, read from BER without any
// cryptography: what was signed, by whom, with which algorithms. This is
// where untrusted input is parsed, so it is the part that is fuzzed.
#pragma once

#include <string>
#include <vector>

#include "certificate.h"

struct SignedAttribute {
    std::string type;                // its OID
    std::vector<BerElement> values;  // the values of its SET, pointing into the input
};

struct SignerData {
    int version = 0;
    // The signer's identity: issuer and serial number, or a subject key identifier.
    bool byKeyId = false;
    std::vector<unsigned char> issuer, serial, keyId;
    std::string digestAlgorithm;     // OID
    bool digestParametersOk = true;  // absent or NULL
    bool hasSignedAttributes = false;
    std::vector<unsigned char> signedAttributesDer;  // as signed: the SET OF, tag 0x31
    std::vector<SignedAttribute> signedAttributes;
    std::string signatureAlgorithm;  // OID
    std::vector<unsigned char> signature;
};

struct SignedDataParts {
    std::string contentType;  // the outer ContentInfo's OID (PKCS#7 or GM/T 0010)
    std::string eContentType;
    bool hasContent = false;  // an eContent field is present (attached)
    std::vector<unsigned char> content;
    std::vector<Certificate> certificates;
    std::vector<SignerData> signers;
};

enum class ParseFailure { kNone, kMalformed, kUnsupported };

struct ParseResult {
    ParseFailure failure = ParseFailure::kNone;
    std::string reason;
};

// Reads a ContentInfo holding a SignedData; nothing after it may follow.
ParseResult signed_data_parse(const std::vector<unsigned char>& input, SignedDataParts& out);

// The content types accepted as "data": PKCS#7 and GM/T 0010.
bool is_data_type(const std::string& oid);
