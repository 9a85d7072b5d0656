#include "tasn1_sm2sig.h"

#include <cstddef>
#include <cstring>

namespace {

size_t writeUnsignedInteger(const unsigned char* value, size_t len, unsigned char* out)
{
    size_t skip = 0;
    while (skip + 1 < len && value[skip] == 0) ++skip;
    const unsigned char* v = value + skip;
    size_t n = len - skip;
    bool pad = (v[0] & 0x80) != 0;
    out[0] = 0x02;
    out[1] = static_cast<unsigned char>(n + (pad ? 1 : 0));
    size_t at = 2;
    if (pad) out[at++] = 0x00;
    std::memcpy(out + at, v, n);
    return at + n;
}

}  // namespace

int tasn1_sm2sig_toDer(const unsigned char* r, const unsigned char* s, unsigned char* out)
{
    unsigned char body[TASN1_SM2_SIG_DER_MAX - 2];
    size_t n = writeUnsignedInteger(r, TASN1_SM2_VALUE_LEN, body);
    n += writeUnsignedInteger(s, TASN1_SM2_VALUE_LEN, body + n);
    out[0] = 0x30;
    out[1] = static_cast<unsigned char>(n);
    std::memcpy(out + 2, body, n);
    return static_cast<int>(n + 2);
}
