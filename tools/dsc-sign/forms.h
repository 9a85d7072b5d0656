// The forms of a signature or certificate: DER, PEM (64-column lines between
// BEGIN/END lines, as OpenSSL reads them) or the library's base64 text on one
// line.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

enum class Form { kDer, kPem, kBase64 };

// "der", "pem" or "base64"; false for anything else.
bool parse_form(const std::string& text, Form& form);

// Writes the base64 text the library returned (one line, no breaks) to `f`
// in `form`; PEM uses `pemLabel` ("PKCS7", "CERTIFICATE"). The text is
// decoded a block at a time, so a large signature is never held twice, and
// checked whatever the form. `derBytes` receives the length of the binary.
bool write_base64_as(std::FILE* f, const char* text, size_t len, Form form, const char* pemLabel, size_t& derBytes,
                     std::string& error);

// The DER behind a signature file in any of the three forms: DER as it is,
// PEM (any label) or bare base64 decoded. False when it is none of them.
bool der_from_any_form(const std::vector<unsigned char>& input, std::vector<unsigned char>& der);
