// Upper-case hex and base64 (RFC 4648 alphabet, "=" padding, no line breaks).
#pragma once

#include <cstdint>

// Two upper-case digits per byte. Returns 2 * len; with `out` null only the
// needed length (without terminator); -1 when `outCapacity` has no room for
// the digits and their NUL; TCORE_ERR_PARAM for null data or len <= 0.
int tcore_bytesToHexString(const unsigned char* data, int len, char* out, int outCapacity);

// The number of base64 characters of `bytes` bytes, padding included,
// without a terminator.
inline int64_t tcore_base64_textLength(int64_t bytes) { return (bytes + 2) / 3 * 4; }

// Returns the number of characters written. len <= 0 takes `data` as a text.
// The output is NUL-terminated only when the capacity exceeds its length.
int tcore_base64_encode(char* out, const unsigned char* data, int len, int outCapacity);

// One stretch of bytes among several that are encoded as one text.
struct tcore_bytes {
    const unsigned char* data;
    int len;  // 0 or more
};

// The base64 text of the pieces one after the other, as tcore_base64_encode
// gives it for their concatenation, without that concatenation ever being
// made: a large content travels from the caller's buffer straight into the
// text. Same results and buffer rules as tcore_base64_encode; a piece with
// a negative length or null bytes, or no pieces at all, is TCORE_ERR_PARAM.
int tcore_base64_encodePieces(char* out, const tcore_bytes* pieces, int count, int outCapacity);

// Returns the number of meaningful bytes; with `out` null the buffer size
// needed ((len / 4) * 3, padding included). Blanks and line breaks anywhere
// are ignored, trailing "-" characters are dropped.
int tcore_base64_decode(unsigned char* out, const char* text, int len, int outCapacity);
