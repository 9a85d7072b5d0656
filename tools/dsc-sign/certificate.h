// The parts of an X.509 certificate a verifier needs, read from its DER:
// the names and serial number that identify it, its public key, and what
// its issuer signed.
#pragma once

#include <string>
#include <vector>

#include "ber.h"

struct Certificate {
    std::vector<unsigned char> der;      // the whole certificate
    std::vector<unsigned char> tbs;      // the signed part, as encoded
    std::vector<unsigned char> serial;   // the INTEGER's contents
    std::vector<unsigned char> issuer;   // the issuer Name, as encoded
    std::vector<unsigned char> subject;  // the subject Name, as encoded
    std::string keyAlgorithm;            // the SubjectPublicKeyInfo algorithm OID
    std::string keyCurve;                // its named curve OID, for an EC key
    std::vector<unsigned char> key;      // the subjectPublicKey bits (a point, or an RSAPublicKey)
    std::vector<unsigned char> keyId;    // the subject key identifier extension, when present
    std::string signatureAlgorithm;      // how the issuer signed tbs
    std::vector<unsigned char> signature;
};

// Reads one certificate; false when the DER is not a certificate.
bool certificate_parse(const BerElement& e, Certificate& out);
bool certificate_parse(const unsigned char* der, size_t length, Certificate& out);

// A Name as people read it, in its encoded order: "CN=Alice, O=Org", a
// multi-valued RDN joined by " + ". Control characters are escaped.
std::string name_text(const std::vector<unsigned char>& name);

// The serial number in hexadecimal, upper case.
std::string serial_text(const std::vector<unsigned char>& serial);

// What the key is: "SM2", "RSA" or empty for any other.
std::string key_kind(const Certificate& cert);
