// DER from anywhere (tokens, stores, callers): the length reader, the child
// walk over every child, and the key-algorithm lookup of a certificate.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "tasn1_cert.h"
#include "tasn1_walk.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // An exact-size copy, so a read past the end is caught.
    std::vector<unsigned char> bytes(data, data + size);
    const int len = static_cast<int>(bytes.size());
    int declared = 0;
    tasn1_len_decode(len, bytes.data(), &declared);
    for (int i = 0; i < 64; ++i) {
        tasn1_item item{};
        if (tasn1_sequence_decode_getTLV(bytes.data(), len, i, &item) != 0) break;
        tasn1_item inner{};
        tasn1_sequence_decode_getValue(item.data, item.len, 0, &inner);
    }
    tasn1_cert_getKeyAlg(bytes.data(), len);
    return 0;
}
