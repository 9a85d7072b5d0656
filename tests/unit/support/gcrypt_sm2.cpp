#include "gcrypt_sm2.h"

#include "fixtures.h"

// sm2p256v1 (GB/T 32918.5), as Z takes them.
namespace {

const char* const kSm2CurveForZ = "FFFFFFFEFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF00000000FFFFFFFFFFFFFFFC"   // a
                                  "28E9FA9E9D9F5E344D5A9E4BCF6509A7F39789F515AB8F92DDBCBD414D940E93"   // b
                                  "32C4AE2C1F1981195F9904466A39C9948FE30BBFF2660BE1715A4589334C74C7"   // Gx
                                  "BC3736A2F4F6779C59BDCEE36B692153D0A9877CC62A474002DF32E52139F0A0";  // Gy

}  // namespace

std::string sm3(const std::string& data)
{
    std::string out(32, '\0');
    gcry_md_hash_buffer(GCRY_MD_SM3, out.data(), data.data(), data.size());
    return out;
}

// e = SM3(Z || M), Z with the default identity; `point` is 04 || x || y.
std::string sm2E(const std::string& point, const std::string& message)
{
    const std::string id = "1234567812345678";
    std::string entl = {static_cast<char>((id.size() * 8) >> 8), static_cast<char>(id.size() * 8)};
    std::string z = sm3(entl + id + unhex(kSm2CurveForZ) + point.substr(1));
    return sm3(z + message);
}

// libgcrypt's own SM2 verification of r || s (big-endian) over e.
bool sm2Verifies(const std::string& point, const std::string& e, const std::string& rs)
{
    Sexp key, data, sig;
    if (gcry_sexp_build(&key.s, nullptr, "(public-key (ecc (curve sm2p256v1)(q %b)))", (int)point.size(),
                        point.data()) ||
        gcry_sexp_build(&data.s, nullptr, "(data (flags sm2)(hash sm3 %b))", (int)e.size(), e.data()) ||
        gcry_sexp_build(&sig.s, nullptr, "(sig-val (sm2 (r %b)(s %b)))", 32, rs.data(), 32, rs.data() + 32))
        return false;
    return gcry_pk_verify(sig.s, data.s, key.s) == 0;
}
