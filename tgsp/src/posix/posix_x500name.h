// An X.500 Name as Windows' CertNameToStrW(CERT_X500_NAME_STR) writes it:
// RDNs and their attributes in encoded order, joined by ", " and " + ",
// X.500 keys (CN, O, S, E, ...) or "OID." and the dotted OID, values quoted
// where Windows quotes them.
//
// Platform-free on purpose: the Linux certificate stand-in renders names
// with it, and the Windows build of the unit suite puts it beside the real
// crypt32 to show both renderings of the same names.
#pragma once

#include <cstddef>
#include <string>

// Code points of the rendered name; false when the DER cannot be decoded
// (the whole name fails, as on Windows).
bool posix_x500_render(const unsigned char* der, size_t len, std::u32string* out);
