// The issuer and subject of a certificate without building X509_NAME
// objects, whose decoder also builds a canonical copy of every name.
#pragma once

#include <openssl/x509.h>

#include <cstddef>

struct posix_NameSpan {
    const unsigned char* der = nullptr;  // the name's whole element
    size_t len = 0;
};

// The issuer and subject elements of the certificate `der` as they are
// written in it. False for anything but plain definite lengths and
// single-byte tags, where the names' bytes are left to OpenSSL to find.
bool posix_certNames(const unsigned char* der, size_t len, posix_NameSpan* issuer, posix_NameSpan* subject);

// True when X509_NAME's decoder would accept this name (its RDNs, each a
// stack of entries, as the name's template reads them) at `len` bytes: it
// refuses a name over 1 MiB and a name whose canonical form cannot be made,
// which is a text value that does not convert to UTF-8.
bool posix_nameIsAccepted(const OPENSSL_STACK* rdns, size_t len);
