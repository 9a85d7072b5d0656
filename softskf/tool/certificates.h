// softskf-tool's X.509 work with OpenSSL: a test CA per key type, issuing
// certificates for keys generated on the token, reading PEM keys and
// certificates to import, and describing certificates for `list`.
#pragma once

#include <string>

#include "skfapi.h"
#include "state.h"
#include "token_client.h"

struct CertificateRequest {
    std::string subject = "/CN=softskf user";  // "/CN=.../O=..." as openssl req writes it
    unsigned days = 365;
};

// The CA under `ca_dir` for this key type (sm2-ca.key/.crt or rsa-ca.key/.crt),
// created there on first use. SM2 certificates are signed with SM2-with-SM3
// and the default identity, RSA ones with SHA-256.
ByteString issue_sm2_certificate(const std::string& ca_dir, const ECCPUBLICKEYBLOB& key,
                                 const CertificateRequest& request);
ByteString issue_rsa_certificate(const std::string& ca_dir, const RSAPUBLICKEYBLOB& key,
                                 const CertificateRequest& request);

// A private key (PKCS#8 or traditional PEM, SM2 or RSA) as token key material.
softskf::KeyPair key_from_pem_file(const std::string& path);
ByteString certificate_from_pem_file(const std::string& path);

std::string certificate_to_pem(const ByteString& der);
// "subject=..., issuer=..., until ..."; or why it cannot be read.
std::string describe_certificate(const ByteString& der);

ByteString sm2_signature_to_der(const ECCSIGNATUREBLOB& signature);
