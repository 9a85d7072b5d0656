#include "sign_support.h"

// No independent verifier runs inside Wine; the Linux suite checks the same
// paths with OpenSSL, and the tests check the structure here.
void recordSignedData(const std::string&, const std::string&, const std::string&, const std::string&) {}
