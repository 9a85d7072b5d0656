// One soft-token vendor with one device, loaded, and the certificate record
// of one of its containers, as the walks make it: the starting point of the
// signing and PIN tests.
#pragma once

#include <memory>
#include <string>

#include "temp_dir.h"
#include "token_vendor.h"
#include "tutil_skf_cus.h"

struct TokenSession {
    std::unique_ptr<TokenVendor> vendor;
    int providerId = 0;
    tutil_skf_cert* cert = nullptr;  // the record of `container`, PIN set

    // A device "dev" with application "app" (user PIN 111111) holding the
    // containers "sm2" (sm2_zhang) and "rsa" (rsa_wang).
    TokenSession(const std::string& container, const std::string& pin, std::initializer_list<std::string> faults = {});
    ~TokenSession();
    void addFault(const std::string& fault) const;
    std::string stateWith(std::initializer_list<std::string> faults) const;
};
