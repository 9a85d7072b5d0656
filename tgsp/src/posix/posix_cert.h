// Certificates decoded once and shared by the contexts made from them.
#pragma once

#include <windows.h>
#include <wincrypt.h>

#include <cstddef>
#include <memory>

// A decoded certificate: read-only, shared by every context made from it.
struct posix_DecodedCert;

// The certificate `encoded` decoded, or null when it is refused; nothing is
// thrown but std::bad_alloc. Bytes decoded before give the same decoding
// again: up to posix_kDecodedCertsMax decodings are kept, by their exact
// bytes, until the module is unloaded.
std::shared_ptr<const posix_DecodedCert> posix_decodeCert(const BYTE* encoded, DWORD encodedLen);
// A new context over `decoded`, with one reference and no properties, as
// CertCreateCertificateContext makes it.
PCCERT_CONTEXT posix_contextOf(std::shared_ptr<const posix_DecodedCert> decoded);

constexpr size_t posix_kDecodedCertsMax = 2048;
// How many decodings are kept now.
size_t posix_decodedCertsKept();
