#include "tcore_codec.h"

#include <bit>
#include <cstdint>
#include <cstring>

#include "tcore_errors.h"
#include "tcore_mem.h"

namespace {

const char kHexDigits[] = "0123456789ABCDEF";
const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

enum : signed char { kInvalid = -1, kBlank = -2, kLine = -3 };

// The characters of every 12-bit value: one lookup writes two characters.
struct EncodeTable {
    char pair[4096][2];
    EncodeTable()
    {
        for (int v = 0; v < 4096; ++v) {
            pair[v][0] = kAlphabet[v >> 6];
            pair[v][1] = kAlphabet[v & 63];
        }
    }
};

struct DecodeTable {
    signed char value[256];
    // The value of a character at each of the four positions of a group,
    // already shifted; a character outside the alphabet sets a high bit
    // that no shifted value reaches.
    uint32_t shifted[4][256];
    static constexpr uint32_t kBad = 0x80000000u;
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
        for (int pos = 0; pos < 4; ++pos)
            for (int c = 0; c < 256; ++c)
                shifted[pos][c] = value[c] < 0 ? kBad : static_cast<uint32_t>(value[c]) << (18 - 6 * pos);
    }
};

const EncodeTable kEncode;
const DecodeTable kDecode;

uint64_t loadBigEndian64(const unsigned char* p)
{
    uint64_t w;
    std::memcpy(&w, p, sizeof w);
    if constexpr (std::endian::native == std::endian::little) w = __builtin_bswap64(w);
    return w;
}

// Whole groups of three bytes; `len` is a multiple of 3. Two groups at a
// time while eight bytes can be read: one load, four lookups, one store.
char* encodeGroups(char* o, const unsigned char* data, size_t len)
{
    size_t i = 0;
    for (; i + 8 <= len; i += 6) {
        uint64_t w = loadBigEndian64(data + i);
        char text[8];
        std::memcpy(text, kEncode.pair[(w >> 52) & 0xFFF], 2);
        std::memcpy(text + 2, kEncode.pair[(w >> 40) & 0xFFF], 2);
        std::memcpy(text + 4, kEncode.pair[(w >> 28) & 0xFFF], 2);
        std::memcpy(text + 6, kEncode.pair[(w >> 16) & 0xFFF], 2);
        std::memcpy(o, text, sizeof text);
        o += 8;
    }
    for (; i < len; i += 3) {
        uint32_t v = (static_cast<uint32_t>(data[i]) << 16) | (static_cast<uint32_t>(data[i + 1]) << 8) | data[i + 2];
        std::memcpy(o, kEncode.pair[v >> 12], 2);
        std::memcpy(o + 2, kEncode.pair[v & 0xFFF], 2);
        o += 4;
    }
    return o;
}

// The last one or two bytes with their padding.
char* encodeTail(char* o, const unsigned char* rest, int count)
{
    uint32_t v = static_cast<uint32_t>(rest[0]) << 16;
    if (count == 2) v |= static_cast<uint32_t>(rest[1]) << 8;
    *o++ = kAlphabet[(v >> 18) & 63];
    *o++ = kAlphabet[(v >> 12) & 63];
    *o++ = count == 2 ? kAlphabet[(v >> 6) & 63] : '=';
    *o++ = '=';
    return o;
}

// Groups of four alphabet characters from `src[start, end)`, whose length is
// a multiple of 4, into three bytes each. Returns the groups decoded before
// the first one holding another character, and sets `bad` if there was one.
int decodeGroups(unsigned char* out, const char* src, int start, int end, bool* bad)
{
    const auto* s = reinterpret_cast<const unsigned char*>(src);
    unsigned char* o = out;
    int groups = 0;
    for (int i = start; i < end; i += 4) {
        uint32_t v = kDecode.shifted[0][s[i]] | kDecode.shifted[1][s[i + 1]] | kDecode.shifted[2][s[i + 2]] |
                     kDecode.shifted[3][s[i + 3]];
        if (v & DecodeTable::kBad) {
            *bad = true;
            return groups;
        }
        o[0] = static_cast<unsigned char>(v >> 16);
        o[1] = static_cast<unsigned char>(v >> 8);
        o[2] = static_cast<unsigned char>(v);
        o += 3;
        ++groups;
    }
    *bad = false;
    return groups;
}

// Leading blanks skipped, trailing blanks and line characters dropped (while
// more than three characters remain), then the groups decoded. `groups`
// receives the number of groups the trimmed text has (0 when it is empty).
int decodeTrimmed(unsigned char* out, const char* src, int len, int* groups)
{
    auto cls = [](char c) { return kDecode.value[static_cast<unsigned char>(c)]; };
    int start = 0;
    while (start < len && cls(src[start]) == kBlank) ++start;
    int end = len;
    while (end - start > 3 && (cls(src[end - 1]) == kBlank || cls(src[end - 1]) == kLine)) --end;
    *groups = 0;
    if ((end - start) % 4 != 0) return TCORE_ERR_BUFSIZE;
    *groups = (end - start) / 4;
    int padding = 0;
    for (int i = end - 4 < start ? start : end - 4; i < end; ++i)
        if (src[i] == '=') ++padding;
    bool bad = false;
    int decoded = decodeGroups(out, src, start, end, &bad);
    return bad ? TCORE_ERR_BASE64_CHAR : 3 * decoded - padding;
}

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
    tcore_bytes whole{data, len};
    return tcore_base64_encodePieces(out, &whole, 1, outCapacity);
}

int tcore_base64_encodePieces(char* out, const tcore_bytes* pieces, int count, int outCapacity)
{
    if (out == nullptr || pieces == nullptr || count <= 0) return TCORE_ERR_PARAM;
    int64_t total = 0;
    for (int i = 0; i < count; ++i) {
        if (pieces[i].len < 0 || (pieces[i].data == nullptr && pieces[i].len > 0)) return TCORE_ERR_PARAM;
        total += pieces[i].len;
    }
    int64_t encoded = tcore_base64_textLength(total);
    if (encoded > INT32_MAX) return TCORE_ERR_PARAM;
    if (outCapacity < encoded) return TCORE_ERR_BUFSIZE;
    // Every byte of the capacity ends up written: the text, then zeros.
    std::memset(out + encoded, 0, static_cast<size_t>(outCapacity - encoded));

    // A group of three may straddle two pieces: up to two bytes wait here.
    unsigned char carry[3];
    int carried = 0;
    char* o = out;
    for (int i = 0; i < count; ++i) {
        const unsigned char* d = pieces[i].data;
        size_t n = static_cast<size_t>(pieces[i].len);
        while (carried > 0 && carried < 3 && n > 0) {
            carry[carried++] = *d++;
            --n;
        }
        if (carried == 3) {
            o = encodeGroups(o, carry, 3);
            carried = 0;
        }
        size_t whole = n / 3 * 3;
        o = encodeGroups(o, d, whole);
        for (size_t k = whole; k < n; ++k) carry[carried++] = d[k];
    }
    if (carried > 0) encodeTail(o, carry, carried);
    return static_cast<int>(encoded);
}

int tcore_base64_decode(unsigned char* out, const char* text, int len, int outCapacity)
{
    if (text == nullptr) return TCORE_ERR_PARAM;
    if (len <= 0) len = static_cast<int>(std::strlen(text));

    // Most texts hold no line breaks: they are decoded as they stand, when
    // the output has room for that, and looked through for whitespace only
    // if they do not decode so. A text that decodes as it stands yields the
    // same bytes as its copy without whitespace, since whitespace can then
    // only be among the blanks and line characters trimmed at its ends.
    if (out != nullptr && outCapacity >= len / 4 * 3) {
        int groups = 0;
        int result = decodeTrimmed(out, text, len, &groups);
        if (result >= 0 && groups > 0) return result;
    }

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
        int groups = 0;
        result = decodeTrimmed(out, src, len, &groups);
    }
    tcore_free(compact);
    return result;
}
