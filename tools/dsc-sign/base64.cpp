#include "base64.h"

namespace {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int value_of(char c)
{
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

}  // namespace

std::string base64_encode(const std::vector<unsigned char>& bytes)
{
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        unsigned v = bytes[i] << 16 | bytes[i + 1] << 8 | bytes[i + 2];
        for (int shift = 18; shift >= 0; shift -= 6) out.push_back(kAlphabet[(v >> shift) & 63]);
    }
    size_t rest = bytes.size() - i;
    if (rest > 0) {
        unsigned v = bytes[i] << 16 | (rest == 2 ? bytes[i + 1] << 8 : 0);
        out.push_back(kAlphabet[(v >> 18) & 63]);
        out.push_back(kAlphabet[(v >> 12) & 63]);
        out.push_back(rest == 2 ? kAlphabet[(v >> 6) & 63] : '=');
        out.push_back('=');
    }
    return out;
}

bool base64_decode(const std::string& text, std::vector<unsigned char>& bytes)
{
    bytes.clear();
    unsigned v = 0;
    int bits = 0, padding = 0, symbols = 0;
    for (char c : text) {
        if (c == '\r' || c == '\n' || c == ' ' || c == '\t') continue;
        if (c == '=') {
            ++padding;
            ++symbols;
            continue;
        }
        int d = value_of(c);
        if (d < 0 || padding > 0) return false;
        ++symbols;
        v = v << 6 | static_cast<unsigned>(d);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            bytes.push_back(static_cast<unsigned char>(v >> bits));
        }
    }
    return symbols % 4 == 0 && padding <= 2;
}
