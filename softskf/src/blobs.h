// The standard's public-key and signature structures <-> big-endian values.
// 256-bit SM2 values sit right-aligned in their 64-byte fields.
#pragma once

#include "bytes.h"
#include "skfapi.h"
#include "state.h"

namespace softskf {

ECCPUBLICKEYBLOB ecc_public_blob(const KeyPair& key);
// Accepts right-aligned values and, as some callers write them, left-aligned
// ones (the upper 32 bytes set and the lower 32 zero).
bool read_ecc_public_blob(const ECCPUBLICKEYBLOB& blob, Bytes& x, Bytes& y);

RSAPUBLICKEYBLOB rsa_public_blob(const KeyPair& key);
bool read_rsa_public_blob(const RSAPUBLICKEYBLOB& blob, Bytes& n, Bytes& e);

void put_ecc_signature(const Bytes& r, const Bytes& s, ECCSIGNATUREBLOB& blob);
bool read_ecc_signature(const ECCSIGNATUREBLOB& blob, Bytes& r, Bytes& s);

template <class T>
Bytes struct_bytes(const T& value)
{
    const auto* p = reinterpret_cast<const std::uint8_t*>(&value);
    return Bytes(p, p + sizeof value);
}

}  // namespace softskf
