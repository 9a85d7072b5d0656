#include "blobs.h"

#include <algorithm>
#include <cstring>

namespace softskf {

namespace {

constexpr std::size_t half = 32;

void put_right(SKF_BYTE* field, std::size_t width, const Bytes& value)
{
    std::memset(field, 0, width);
    std::size_t n = std::min(value.size(), width);
    std::memcpy(field + width - n, value.data() + value.size() - n, n);
}

bool all_zero(const SKF_BYTE* p, std::size_t n)
{
    return std::all_of(p, p + n, [](SKF_BYTE b) { return b == 0; });
}

// One 64-byte coordinate field holding a 256-bit value.
bool read_half(const SKF_BYTE* field, Bytes& out)
{
    if (all_zero(field, half)) {
        out.assign(field + half, field + 2 * half);
        return true;
    }
    if (all_zero(field + half, half)) {
        out.assign(field, field + half);
        return true;
    }
    return false;
}

}  // namespace

ECCPUBLICKEYBLOB ecc_public_blob(const KeyPair& key)
{
    ECCPUBLICKEYBLOB blob{};
    blob.BitLen = 256;
    put_right(blob.XCoordinate, sizeof blob.XCoordinate, key.x);
    put_right(blob.YCoordinate, sizeof blob.YCoordinate, key.y);
    return blob;
}

bool read_ecc_public_blob(const ECCPUBLICKEYBLOB& blob, Bytes& x, Bytes& y)
{
    return blob.BitLen == 256 && read_half(blob.XCoordinate, x) && read_half(blob.YCoordinate, y);
}

RSAPUBLICKEYBLOB rsa_public_blob(const KeyPair& key)
{
    RSAPUBLICKEYBLOB blob{};
    blob.AlgID = SGD_RSA;
    Bytes n = key.n;
    n.erase(n.begin(), std::find_if(n.begin(), n.end(), [](std::uint8_t b) { return b != 0; }));
    blob.BitLen = static_cast<SKF_ULONG>(n.size() * 8);
    put_right(blob.Modulus, sizeof blob.Modulus, n);
    put_right(blob.PublicExponent, sizeof blob.PublicExponent, key.e);
    return blob;
}

bool read_rsa_public_blob(const RSAPUBLICKEYBLOB& blob, Bytes& n, Bytes& e)
{
    std::size_t bytes = blob.BitLen / 8;
    if (blob.BitLen % 8 != 0 || bytes < 64 || bytes > sizeof blob.Modulus) return false;
    const std::size_t pad = sizeof blob.Modulus - bytes;
    // Right-aligned as we write it; left-aligned from callers that start at offset 0.
    if (all_zero(blob.Modulus, pad))
        n.assign(blob.Modulus + pad, blob.Modulus + sizeof blob.Modulus);
    else if (all_zero(blob.Modulus + bytes, pad))
        n.assign(blob.Modulus, blob.Modulus + bytes);
    else
        return false;
    e.assign(blob.PublicExponent, blob.PublicExponent + sizeof blob.PublicExponent);
    return n.front() != 0;
}

void put_ecc_signature(const Bytes& r, const Bytes& s, ECCSIGNATUREBLOB& blob)
{
    put_right(blob.r, sizeof blob.r, r);
    put_right(blob.s, sizeof blob.s, s);
}

bool read_ecc_signature(const ECCSIGNATUREBLOB& blob, Bytes& r, Bytes& s)
{
    return read_half(blob.r, r) && read_half(blob.s, s);
}

}  // namespace softskf
