// Signing through the export and checking what comes back.
#pragma once

#include <string>

// Sgn_Sign of `data` (with its length, or as a text with length 0), the
// returned text released with Sgn_Free.
std::string signedText(const std::string& data, int mode, const char* pin, bool passLength);

// The bytes of a base64 text.
std::string unbase64(const std::string& text);

// Checks a base64 SignedData with an independent verifier: the signer's
// signature over `data` with the key of `keyFixture`'s certificate (OpenSSL
// on Linux; libgcrypt for SM2 under Wine, RSA being checked on Linux).
void recordSignedData(const std::string& name, const std::string& base64, const std::string& data,
                      const std::string& keyFixture);
