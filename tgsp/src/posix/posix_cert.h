// Certificates decoded once and shared by the contexts made from them.
#pragma once

#include <windows.h>
#include <wincrypt.h>

#include <memory>

// A decoded certificate: read-only, shared by every context made from it.
struct posix_DecodedCert;

// The certificate `encoded` decoded, or null when it is refused; nothing is
// thrown but std::bad_alloc.
std::shared_ptr<const posix_DecodedCert> posix_decodeCert(const BYTE* encoded, DWORD encodedLen);
// A new context over `decoded`, with one reference and no properties, as
// CertCreateCertificateContext makes it.
PCCERT_CONTEXT posix_contextOf(std::shared_ptr<const posix_DecodedCert> decoded);
