// An SM2 verifier of the Windows tests, on libgcrypt alone: e = SM3(Z || M)
// computed here from the curve constants, the signature checked by
// libgcrypt. Nothing of the library or the test CSP is used.
#pragma once

#include <gcrypt.h>

#include <string>

struct Sexp {
    gcry_sexp_t s = nullptr;
    ~Sexp() { gcry_sexp_release(s); }
};

std::string sm3(const std::string& data);
// e = SM3(Z || M), Z with the default identity; `point` is 04 || x || y.
std::string sm2E(const std::string& point, const std::string& message);
// r || s (big-endian, 32 bytes each) over e.
bool sm2Verifies(const std::string& point, const std::string& e, const std::string& rs);
