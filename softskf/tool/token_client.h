// softskf-tool's side of the SKF calls: the token module loaded by path and
// the few operations provisioning needs, each failing with a readable error.
#pragma once

#include <string>
#include <vector>

#include "skf_module.h"

using ByteString = std::vector<unsigned char>;

class TokenClient {
public:
    explicit TokenClient(const std::string& module_path);

    DEVHANDLE connect(const std::string& device);
    HAPPLICATION create_application(DEVHANDLE dev, const std::string& name, const std::string& admin_pin,
                                    unsigned admin_retries, const std::string& user_pin, unsigned user_retries);
    HAPPLICATION open_application(DEVHANDLE dev, const std::string& name);
    bool has_application(DEVHANDLE dev, const std::string& name);
    void verify_user_pin(HAPPLICATION app, const std::string& pin);
    HCONTAINER create_container(HAPPLICATION app, const std::string& name);
    HCONTAINER open_container(HAPPLICATION app, const std::string& name);
    ECCPUBLICKEYBLOB generate_sm2(HCONTAINER con);
    RSAPUBLICKEYBLOB generate_rsa(HCONTAINER con, unsigned bits);
    void import_certificate(HCONTAINER con, const ByteString& der, bool signing);
    SKF_ULONG container_type(HCONTAINER con);
    ECCPUBLICKEYBLOB sm2_public_key(HCONTAINER con);
    // SM2: e = SM3(Z || message) with the default identity, signed on the
    // token.
    ECCSIGNATUREBLOB sign_sm2(DEVHANDLE dev, HCONTAINER con, const ByteString& message);
    // RSA: the SHA-1 or SHA-256 value, signed on the token (which adds the
    // DigestInfo); returns the signature.
    ByteString sign_rsa(DEVHANDLE dev, HCONTAINER con, const ByteString& message, SKF_ULONG hash_algorithm);

private:
    ByteString digest(DEVHANDLE dev, SKF_ULONG algorithm, ECCPUBLICKEYBLOB* key, const ByteString& message);
    std::vector<std::string> list_applications(DEVHANDLE dev);

    SkfModule skf_;
};

// "SKF_X failed: 0x0A000024 (SAR_PIN_INCORRECT)" unless rc is SAR_OK.
void check_skf(SKF_ULONG rc, const char* function);
