// The token's cryptography: SM3/SHA hashes, SM2 on sm2p256v1 and RSA with
// PKCS#1 v1.5 signatures. Big integers travel as big-endian bytes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "bytes.h"
#include "state.h"

namespace softskf::crypto {

// Idempotent; the first call sets up libgcrypt if the host has not.
void initialize();

enum class HashAlgorithm { sm3, sha1, sha256 };

std::size_t hash_length(HashAlgorithm algorithm);

class Hash {
public:
    explicit Hash(HashAlgorithm algorithm);
    ~Hash();
    Hash(const Hash&) = delete;
    Hash& operator=(const Hash&) = delete;
    bool valid() const { return handle_ != nullptr; }
    HashAlgorithm algorithm() const { return algorithm_; }
    void update(const std::uint8_t* data, std::size_t length);
    Bytes finish();

private:
    HashAlgorithm algorithm_;
    void* handle_ = nullptr;
};

Bytes digest(HashAlgorithm algorithm, const Bytes& data);

constexpr std::size_t sm2_field_bytes = 32;
constexpr std::size_t sm2_max_id_bytes = 8191;  // ENTL holds the bit length in 16 bits

// x and y are 32-byte big-endian coordinates.
bool sm2_point_on_curve(const Bytes& x, const Bytes& y);
// Z = SM3(ENTL || ID || a || b || Gx || Gy || x || y).
Bytes sm2_z(const Bytes& x, const Bytes& y, const std::uint8_t* id, std::size_t id_length);
bool sm2_generate(KeyPair& key);
// e is the pre-processed hash; r and s come back as 32 bytes each.
bool sm2_sign(const KeyPair& key, const Bytes& e, Bytes& r, Bytes& s);
bool sm2_verify(const Bytes& x, const Bytes& y, const Bytes& e, const Bytes& r, const Bytes& s);

bool rsa_generate(unsigned bits, KeyPair& key);
std::size_t rsa_modulus_bytes(const Bytes& n);
// PKCS#1 v1.5 type 1 padding of `data` (at most k - 11 bytes), then the
// private operation; the signature is exactly k bytes long.
bool rsa_sign(const KeyPair& key, const Bytes& data, Bytes& signature);
bool rsa_verify(const Bytes& n, const Bytes& e, const Bytes& data, const Bytes& signature);

void random_bytes(std::uint8_t* out, std::size_t length);

}  // namespace softskf::crypto
