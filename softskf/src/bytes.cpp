#include "bytes.h"

namespace softskf {

std::string to_hex(const Bytes& data)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(data.size() * 2);
    for (std::uint8_t b : data) {
        text.push_back(digits[b >> 4]);
        text.push_back(digits[b & 0x0F]);
    }
    return text;
}

static int hex_value(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::optional<Bytes> from_hex(std::string_view text)
{
    if (text.size() % 2 != 0) return std::nullopt;
    Bytes data(text.size() / 2);
    for (std::size_t i = 0; i < data.size(); ++i) {
        int hi = hex_value(text[2 * i]);
        int lo = hex_value(text[2 * i + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        data[i] = static_cast<std::uint8_t>(hi << 4 | lo);
    }
    return data;
}

}  // namespace softskf
