// Certificates as the ASN.1 layer sees them: turning a certificate text into
// DER, and reading the key algorithm out of the SubjectPublicKeyInfo.
#pragma once

// A DER copy of a certificate given as DER, bare base64 (which begins with
// "M") or PEM. Returns the DER length and hands the buffer to the caller
// (tcore_free); a negative code leaves `der` untouched.
int tasn1_cert_toDer(const char* text, int len, unsigned char** der);

// The certificate as DER: the input itself when it starts with 0x30, else a
// converted copy stored in `owned` (null otherwise; the caller frees it).
// Returns the DER length or a negative code.
int tasn1_cert_asDer(const unsigned char* cert, int len, const unsigned char** der, unsigned char** owned);

// TASN1_KID_RSA (201) or TASN1_KID_SM2 (210) by the public key's
// AlgorithmIdentifier, or -210011.
int tasn1_cert_getKeyAlg(const unsigned char* cert, int len);
