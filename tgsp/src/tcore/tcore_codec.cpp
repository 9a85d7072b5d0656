#include "tcore_codec.h"

#include <cstdint>
#include <cstring>

#include "tcore_errors.h"
#include "tcore_mem.h"

namespace {

const char kHexDigits[] = "0123456789ABCDEF";
const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

enum : signed char { kInvalid = -1, kBlank = -2, kLine = -3 };

struct DecodeTable {
    signed char value[256];
    DecodeTable()
    {
        // Bytes from 0x80 up are never alphabet characters: a text in a
        // multi-byte encoding must not decode as if it were ASCII.
        std::memset(value, kInvalid, sizeof value);
        for (int i = 0; i < 64; ++i) value[static_cast<unsigned char>(kAlphabet[i])] = static_cast<signed char>(i);
        value[static_cast<unsigned char>('=')] = 0;
        value[static_cast<unsigned char>(' ')] = kBlank;
        value[static_cast<unsigned char>('\t')] = kBlank;
        value[static_cast<unsigned char>('\n')] = kLine;
        value[static_cast<unsigned char>('\r')] = kLine;
        value[static_cast<unsigned char>('-')] = kLine;
    }
};

const DecodeTable kDecode;

bool isWhitespace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

int tcore_bytesToHexString(const unsigned char* data, int len, char* out, int outCapacity)
{
    if (data == nullptr || len <= 0) return TCORE_ERR_PARAM;
    int64_t digits = 2 * static_cast<int64_t>(len);
    if (digits > INT32_MAX - 1) return TCORE_ERR_PARAM;
    if (out == nullptr) return static_cast<int>(digits);
    if (outCapacity < digits + 1) return -1;
    std::memset(out, 0, static_cast<size_t>(outCapacity));
    for (int i = 0; i < len; ++i) {
        out[2 * i] = kHexDigits[data[i] >> 4];
        out[2 * i + 1] = kHexDigits[data[i] & 0x0F];
    }
    return static_cast<int>(digits);
}

int tcore_base64_encode(char* out, const unsigned char* data, int len, int outCapacity)
{
    if (data == nullptr || out == nullptr) return TCORE_ERR_PARAM;
    if (len <= 0) len = static_cast<int>(std::strlen(reinterpret_cast<const char*>(data)));
    int64_t encoded = (static_cast<int64_t>(len) + 2) / 3 * 4;
    if (encoded > INT32_MAX) return TCORE_ERR_PARAM;
    if (outCapacity < encoded) return TCORE_ERR_BUFSIZE;
    std::memset(out, 0, static_cast<size_t>(outCapacity));
    char* o = out;
    int i = 0;
    for (; i + 2 < len; i += 3) {
        uint32_t v = (data[i] << 16) | (data[i + 1] << 8) | data[i + 2];
        *o++ = kAlphabet[(v >> 18) & 63];
        *o++ = kAlphabet[(v >> 12) & 63];
        *o++ = kAlphabet[(v >> 6) & 63];
        *o++ = kAlphabet[v & 63];
    }
    int rest = len - i;
    if (rest > 0) {
        uint32_t v = data[i] << 16;
        if (rest == 2) v |= data[i + 1] << 8;
        *o++ = kAlphabet[(v >> 18) & 63];
        *o++ = kAlphabet[(v >> 12) & 63];
        *o++ = rest == 2 ? kAlphabet[(v >> 6) & 63] : '=';
        *o++ = '=';
    }
    return static_cast<int>(encoded);
}

int tcore_base64_decode(unsigned char* out, const char* text, int len, int outCapacity)
{
    if (text == nullptr) return TCORE_ERR_PARAM;
    if (len <= 0) len = static_cast<int>(std::strlen(text));

    // Text broken into lines (PEM, mail) decodes like the unbroken text.
    char* compact = nullptr;
    const char* src = text;
    bool hasWhitespace = false;
    for (int i = 0; i < len && !hasWhitespace; ++i) hasWhitespace = isWhitespace(text[i]);
    if (hasWhitespace) {
        compact = static_cast<char*>(tcore_zalloc(static_cast<size_t>(len)));
        int kept = 0;
        for (int i = 0; i < len; ++i)
            if (!isWhitespace(text[i])) compact[kept++] = text[i];
        src = compact;
        len = kept;
    }

    int result = 0;
    if (len == 0) {
        result = 0;
    } else if (out == nullptr) {
        result = len / 4 * 3;
    } else if (outCapacity < len / 4 * 3) {
        result = TCORE_ERR_BUFSIZE;
    } else {
        auto cls = [](char c) { return kDecode.value[static_cast<unsigned char>(c)]; };
        int start = 0;
        while (start < len && cls(src[start]) == kBlank) ++start;
        int end = len;
        while (end - start > 3 && (cls(src[end - 1]) == kBlank || cls(src[end - 1]) == kLine)) --end;
        int n = end - start;
        if (n % 4 != 0) {
            result = TCORE_ERR_BUFSIZE;
        } else {
            for (int i = end - 4 < start ? start : end - 4; i < end; ++i)
                if (src[i] == '=') --result;
            unsigned char* o = out;
            for (int i = start; i < end; i += 4) {
                signed char a = cls(src[i]), b = cls(src[i + 1]), c = cls(src[i + 2]), d = cls(src[i + 3]);
                if (a < 0 || b < 0 || c < 0 || d < 0) {
                    result = TCORE_ERR_BASE64_CHAR;
                    break;
                }
                uint32_t v = (a << 18) | (b << 12) | (c << 6) | d;
                *o++ = static_cast<unsigned char>(v >> 16);
                *o++ = static_cast<unsigned char>(v >> 8);
                *o++ = static_cast<unsigned char>(v);
                result += 3;
            }
        }
    }
    tcore_free(compact);
    return result;
}
