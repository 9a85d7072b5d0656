// The Windows builds have no verifier: Debian ships no OpenSSL for MinGW, and
// the cryptography is left to OpenSSL rather than written here.
#include "verify.h"

const char kDefaultSm2Id[] = "1234567812345678";

const char* verify_missing()
{
    return "this Windows build has no verifier (it is built without OpenSSL); verify on Linux with "
           "dsc-sign verify, or an RSA signature with openssl cms -verify";
}

VerifyReport verify_signed_data(const std::vector<unsigned char>&, const std::vector<unsigned char>*,
                                const std::string&)
{
    VerifyReport r;
    r.outcome = VerifyOutcome::kUnavailable;
    r.reason = verify_missing();
    return r;
}
