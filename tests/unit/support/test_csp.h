// Certificates with a private key the platform finds: on Windows through the
// test CSP (SM2 keys in files) or Wine's own RSA provider, on Linux through
// the stand-in provider's key files beside the store.
#pragma once

#include <string>

// The provider the signing tests bind CryptoAPI certificates to.
extern const char* const kTestCspName;

// Registers the test CSP (in the view of the process's bitness) so CryptAcquireContextW finds it. Idempotent.
void test_csp_register();

// Adds `der` to the current user's store `storeName` with a private key the platform can find:
//   keyFixture "sm2_zhang" / "sm2_li": the SM2 key of that fixture in a key file of the test CSP,
//     CERT_KEY_PROV_INFO_PROP_ID = {container = key file path, provider = kTestCspName, type 1, keySpec AT_SIGNATURE};
//   keyFixture "rsa_wang": the RSA key imported into a container of Wine's own RSA provider
//     (MS_ENHANCED_PROV, PROV_RSA_FULL) as an AT_KEYEXCHANGE key only, and the property pointing at it with keySpec 1.
// `withProvInfo` false adds the certificate without the property (no key found by the platform).
void test_stores_addWithKey(const char* storeName, const std::string& der, const std::string& keyFixture,
                            bool withProvInfo = true);
