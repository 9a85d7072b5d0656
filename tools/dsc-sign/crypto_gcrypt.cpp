#include <gcrypt.h>

#include "ber.h"
#include "crypto.h"

namespace {

// sm2p256v1 (GB/T 32918.5): a, b, xG, yG, as Z takes them.
const unsigned char kSm2CurveForZ[128] = {
    0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
    0xFF, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFC, 0x28, 0xE9, 0xFA, 0x9E, 0x9D, 0x9F,
    0x5E, 0x34, 0x4D, 0x5A, 0x9E, 0x4B, 0xCF, 0x65, 0x09, 0xA7, 0xF3, 0x97, 0x89, 0xF5, 0x15, 0xAB, 0x8F, 0x92, 0xDD,
    0xBC, 0xBD, 0x41, 0x4D, 0x94, 0x0E, 0x93, 0x32, 0xC4, 0xAE, 0x2C, 0x1F, 0x19, 0x81, 0x19, 0x5F, 0x99, 0x04, 0x46,
    0x6A, 0x39, 0xC9, 0x94, 0x8F, 0xE3, 0x0B, 0xBF, 0xF2, 0x66, 0x0B, 0xE1, 0x71, 0x5A, 0x45, 0x89, 0x33, 0x4C, 0x74,
    0xC7, 0xBC, 0x37, 0x36, 0xA2, 0xF4, 0xF6, 0x77, 0x9C, 0x59, 0xBD, 0xCE, 0xE3, 0x6B, 0x69, 0x21, 0x53, 0xD0, 0xA9,
    0x87, 0x7C, 0xC6, 0x2A, 0x47, 0x40, 0x02, 0xDF, 0x32, 0xE5, 0x21, 0x39, 0xF0, 0xA0,
};

struct Sexp {
    gcry_sexp_t s = nullptr;
    ~Sexp() { gcry_sexp_release(s); }
};

struct Mpi {
    gcry_mpi_t m = nullptr;
    ~Mpi() { gcry_mpi_release(m); }
    bool scan(const unsigned char* p, size_t n) { return gcry_mpi_scan(&m, GCRYMPI_FMT_USG, p, n, nullptr) == 0; }
};

// A positive INTEGER in DER: contents without a superfluous leading zero.
bool der_positive_integer(const BerElement& e)
{
    if (!e.isUniversal(kBerInteger) || e.constructed || !e.der || e.contentsLength == 0) return false;
    if (e.contents[0] & 0x80) return false;
    return !(e.contentsLength > 1 && e.contents[0] == 0 && !(e.contents[1] & 0x80));
}

SignatureCheck verify_sexp(const Sexp& sig, const Sexp& data, const Sexp& key)
{
    return gcry_pk_verify(sig.s, data.s, key.s) == 0 ? SignatureCheck::kValid : SignatureCheck::kInvalid;
}

}  // namespace

void crypto_init()
{
    gcry_check_version(nullptr);
    gcry_control(GCRYCTL_DISABLE_SECMEM, 0);
    gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
}

DigestKind digest_kind(const std::string& oid)
{
    static const struct {
        const char* oid;
        DigestKind kind;
    } kDigests[] = {
        {"1.3.14.3.2.26", {GCRY_MD_SHA1, "SHA-1", "sha1"}},
        {"2.16.840.1.101.3.4.2.4", {GCRY_MD_SHA224, "SHA-224", "sha224"}},
        {"2.16.840.1.101.3.4.2.1", {GCRY_MD_SHA256, "SHA-256", "sha256"}},
        {"2.16.840.1.101.3.4.2.2", {GCRY_MD_SHA384, "SHA-384", "sha384"}},
        {"2.16.840.1.101.3.4.2.3", {GCRY_MD_SHA512, "SHA-512", "sha512"}},
        {"1.2.156.10197.1.401", {GCRY_MD_SM3, "SM3", "sm3"}},
    };
    for (const auto& d : kDigests)
        if (oid == d.oid) return d.kind;
    return {};
}

Bytes digest(const DigestKind& kind, const unsigned char* data, size_t length)
{
    Bytes out(gcry_md_get_algo_dlen(kind.algorithm));
    gcry_md_hash_buffer(kind.algorithm, out.data(), data, length);
    return out;
}

SignatureCheck rsa_verify(const Bytes& key, const DigestKind& kind, const Bytes& hash, const Bytes& signature)
{
    BerElement sequence, n, e;
    if (!ber_read(key.data(), key.size(), sequence) || !sequence.isUniversal(kBerSequence))
        return SignatureCheck::kUnusableKey;
    BerChildren parts(sequence);
    if (!ber_expect(parts, kBerInteger, n) || !ber_expect(parts, kBerInteger, e)) return SignatureCheck::kUnusableKey;
    Sexp keySexp, sig, data;
    Mpi s;
    if (!s.scan(signature.data(), signature.size()) ||
        gcry_sexp_build(&keySexp.s, nullptr, "(public-key (rsa (n %b)(e %b)))", static_cast<int>(n.contentsLength),
                        n.contents, static_cast<int>(e.contentsLength), e.contents) != 0)
        return SignatureCheck::kUnusableKey;
    // PKCS#1 wants the signature exactly as long as the modulus.
    unsigned bits = gcry_pk_get_nbits(keySexp.s);
    if (bits == 0) return SignatureCheck::kUnusableKey;
    if (signature.size() != (bits + 7) / 8) return SignatureCheck::kInvalid;
    if (gcry_sexp_build(&sig.s, nullptr, "(sig-val (rsa (s %m)))", s.m) != 0 ||
        gcry_sexp_build(&data.s, nullptr, "(data (flags pkcs1)(hash %s %b))", kind.sexpName,
                        static_cast<int>(hash.size()), hash.data()) != 0)
        return SignatureCheck::kUnusableKey;
    return verify_sexp(sig, data, keySexp);
}

Bytes sm2_e(const Bytes& point, const std::string& id, const unsigned char* message, size_t length)
{
    gcry_md_hd_t md = nullptr;
    Bytes z(32), e(32);
    if (gcry_md_open(&md, GCRY_MD_SM3, 0) != 0) return {};
    unsigned entl = static_cast<unsigned>(id.size() * 8);
    unsigned char entlBytes[2] = {static_cast<unsigned char>(entl >> 8), static_cast<unsigned char>(entl)};
    gcry_md_write(md, entlBytes, 2);
    gcry_md_write(md, id.data(), id.size());
    gcry_md_write(md, kSm2CurveForZ, sizeof kSm2CurveForZ);
    gcry_md_write(md, point.data() + 1, point.size() - 1);
    std::copy(gcry_md_read(md, GCRY_MD_SM3), gcry_md_read(md, GCRY_MD_SM3) + 32, z.begin());
    gcry_md_reset(md);
    gcry_md_write(md, z.data(), z.size());
    gcry_md_write(md, message, length);
    std::copy(gcry_md_read(md, GCRY_MD_SM3), gcry_md_read(md, GCRY_MD_SM3) + 32, e.begin());
    gcry_md_close(md);
    return e;
}

SignatureCheck sm2_verify(const Bytes& point, const Bytes& e, const Bytes& signature)
{
    if (point.size() != 65 || point[0] != 0x04) return SignatureCheck::kUnusableKey;
    BerElement sequence, r, s;
    if (!ber_read(signature.data(), signature.size(), sequence) || !sequence.der ||
        sequence.wholeLength != signature.size() || !sequence.isUniversal(kBerSequence))
        return SignatureCheck::kInvalid;
    BerChildren parts(sequence);
    if (!parts.next(r) || !parts.next(s) || !parts.atEnd() || !der_positive_integer(r) || !der_positive_integer(s))
        return SignatureCheck::kInvalid;
    Sexp key, data, sig;
    Mpi rm, sm;
    if (!rm.scan(r.contents, r.contentsLength) || !sm.scan(s.contents, s.contentsLength) ||
        gcry_sexp_build(&key.s, nullptr, "(public-key (ecc (curve sm2p256v1)(q %b)))", static_cast<int>(point.size()),
                        point.data()) != 0 ||
        gcry_sexp_build(&data.s, nullptr, "(data (flags sm2)(hash sm3 %b))", static_cast<int>(e.size()), e.data()) !=
            0 ||
        gcry_sexp_build(&sig.s, nullptr, "(sig-val (sm2 (r %m)(s %m)))", rm.m, sm.m) != 0)
        return SignatureCheck::kUnusableKey;
    return verify_sexp(sig, data, key);
}
