#include <vector>

#include "sign_support.h"
#include "tcore_codec.h"

std::string unbase64(const std::string& text)
{
    int size = tcore_base64_decode(nullptr, text.c_str(), static_cast<int>(text.size()), 0);
    if (size <= 0) return {};
    std::vector<unsigned char> bytes(static_cast<size_t>(size));
    int n = tcore_base64_decode(bytes.data(), text.c_str(), static_cast<int>(text.size()), size);
    return n < 0 ? std::string() : std::string(bytes.begin(), bytes.begin() + n);
}
