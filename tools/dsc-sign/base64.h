// Base64 (RFC 4648, with padding) for the certificate and signature texts.
#pragma once

#include <string>
#include <vector>

std::string base64_encode(const std::vector<unsigned char>& bytes);

// Decodes text, ignoring line breaks and blanks (PEM bodies have them);
// false on any other character outside the alphabet or on a bad length.
bool base64_decode(const std::string& text, std::vector<unsigned char>& bytes);
