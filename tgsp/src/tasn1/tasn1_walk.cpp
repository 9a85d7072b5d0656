#include "tasn1_walk.h"

#include <cstring>

#include "tcore_errors.h"

namespace {

bool isWalkable(unsigned char identifier)
{
    return identifier == TASN1_SEQUENCE || identifier == TASN1_SET || identifier >= TASN1_CONTEXT;
}

int findChild(const unsigned char* p, int len, int index, tasn1_item* out, bool whole)
{
    if (p == nullptr || out == nullptr || len <= 0 || index < 0) return TCORE_ERR_PARAM;
    if (!isWalkable(p[0])) return TASN1_ERR_NOT_CONSTRUCTED;
    int outerLen = 0;
    int outerOctets = tasn1_len_decode(len - 1, p + 1, &outerLen);
    if (outerOctets < 1) return TASN1_ERR_LENGTH;
    std::memset(out, 0, sizeof *out);

    // The walk covers the caller's buffer. A child whose length cannot be
    // read or that runs past the buffer ends it: stepping over it would
    // leave the next read somewhere outside the data.
    int64_t pos = 1 + outerOctets;
    for (int i = 0; pos < len; ++i) {
        int childLen = 0;
        int octets = pos + 1 < len ? tasn1_len_decode(len - static_cast<int>(pos) - 1, p + pos + 1, &childLen) : -1;
        if (octets < 1) return TASN1_ERR_LENGTH;
        int64_t end = pos + 1 + octets + childLen;
        if (end > len) return TASN1_ERR_LENGTH;
        if (i == index) {
            out->tag = p[pos];
            out->isEncoded = whole ? 1 : 0;
            out->data = whole ? p + pos : p + pos + 1 + octets;
            out->len = whole ? static_cast<int32_t>(end - pos) : childLen;
            return 0;
        }
        pos = end;
    }
    return TASN1_ERR_ITEM;
}

}  // namespace

int tasn1_len_decode(int avail, const unsigned char* p, int* outLen)
{
    if (p == nullptr || outLen == nullptr || avail <= 0) return TCORE_ERR_PARAM;
    if (p[0] < 0x80) {
        *outLen = p[0];
        return 1;
    }
    int n = p[0] - 0x80;
    if (avail <= n) return TCORE_ERR_BUFSIZE;
    if (n > 4) return TASN1_ERR_LENGTH;
    uint32_t value = 0;
    for (int i = 1; i <= n; ++i) value = (value << 8) | p[i];
    // A declared length beyond 32-bit signed range describes nothing this
    // library can hold.
    if (value > INT32_MAX) return TASN1_ERR_LENGTH;
    *outLen = static_cast<int>(value);
    return n + 1;
}

int tasn1_sequence_decode_getTLV(const unsigned char* p, int len, int index, tasn1_item* out)
{
    return findChild(p, len, index, out, true);
}

int tasn1_sequence_decode_getValue(const unsigned char* p, int len, int index, tasn1_item* out)
{
    return findChild(p, len, index, out, false);
}
