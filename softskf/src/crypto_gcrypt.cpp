#include <gcrypt.h>

#include <cstdio>

#include "crypto.h"
#include "platform.h"

namespace softskf::crypto {

namespace {

struct Mpi {
    gcry_mpi_t v = nullptr;
    Mpi() : v(gcry_mpi_new(0)) {}
    explicit Mpi(gcry_mpi_t adopt) : v(adopt) {}
    explicit Mpi(const Bytes& big_endian)
    {
        if (big_endian.empty() || gcry_mpi_scan(&v, GCRYMPI_FMT_USG, big_endian.data(), big_endian.size(), nullptr))
            v = gcry_mpi_new(0);
    }
    ~Mpi() { gcry_mpi_release(v); }
    Mpi(const Mpi&) = delete;
    Mpi& operator=(const Mpi&) = delete;
};

struct Point {
    gcry_mpi_point_t p;
    Point() : p(gcry_mpi_point_new(0)) {}
    explicit Point(gcry_mpi_point_t adopt) : p(adopt) {}
    ~Point() { gcry_mpi_point_release(p); }
    Point(const Point&) = delete;
    Point& operator=(const Point&) = delete;
};

struct Sexp {
    gcry_sexp_t s = nullptr;
    ~Sexp() { gcry_sexp_release(s); }
};

struct Curve {
    gcry_ctx_t ctx = nullptr;
    Curve() { gcry_mpi_ec_new(&ctx, nullptr, "sm2p256v1"); }
    ~Curve() { gcry_ctx_release(ctx); }
    Curve(const Curve&) = delete;
    Curve& operator=(const Curve&) = delete;
    gcry_mpi_t get(const char* name) const { return gcry_mpi_ec_get_mpi(name, ctx, 1); }
};

// Big-endian, right-aligned in exactly `width` bytes; empty if it does not fit.
Bytes to_fixed(gcry_mpi_t value, std::size_t width)
{
    std::size_t length = 0;
    gcry_mpi_print(GCRYMPI_FMT_USG, nullptr, 0, &length, value);
    if (length > width) return {};
    Bytes out(width, 0);
    if (length > 0) gcry_mpi_print(GCRYMPI_FMT_USG, out.data() + (width - length), length, nullptr, value);
    return out;
}

Bytes to_bytes(gcry_mpi_t value)
{
    std::size_t length = 0;
    gcry_mpi_print(GCRYMPI_FMT_USG, nullptr, 0, &length, value);
    Bytes out(length);
    if (length > 0) gcry_mpi_print(GCRYMPI_FMT_USG, out.data(), length, nullptr, value);
    return out;
}

// Uniform enough for key and nonce generation: 64 extra bits before the
// reduction keep the bias negligible. Result in [1, bound - 1].
void random_below(gcry_mpi_t out, gcry_mpi_t bound)
{
    Mpi wide;
    do {
        gcry_mpi_randomize(wide.v, gcry_mpi_get_nbits(bound) + 64, GCRY_STRONG_RANDOM);
        gcry_mpi_mod(out, wide.v, bound);
    } while (gcry_mpi_cmp_ui(out, 0) == 0);
}

int hash_id(HashAlgorithm algorithm)
{
    switch (algorithm) {
    case HashAlgorithm::sm3: return GCRY_MD_SM3;
    case HashAlgorithm::sha1: return GCRY_MD_SHA1;
    case HashAlgorithm::sha256: return GCRY_MD_SHA256;
    }
    return GCRY_MD_SM3;
}

}  // namespace

void initialize()
{
    if (gcry_control(GCRYCTL_INITIALIZATION_FINISHED_P)) return;
    // libgcrypt keeps process-wide state (its random pool, its exit handlers)
    // that must outlive an unload of this module.
    keep_library_loaded(reinterpret_cast<const void*>(&gcry_check_version));
    gcry_check_version(nullptr);
    gcry_control(GCRYCTL_DISABLE_SECMEM, 0);
    gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
}

std::size_t hash_length(HashAlgorithm algorithm) { return gcry_md_get_algo_dlen(hash_id(algorithm)); }

Hash::Hash(HashAlgorithm algorithm) : algorithm_(algorithm)
{
    gcry_md_hd_t h = nullptr;
    if (gcry_md_open(&h, hash_id(algorithm), 0) == 0) handle_ = h;
}

Hash::~Hash() { gcry_md_close(static_cast<gcry_md_hd_t>(handle_)); }

void Hash::update(const std::uint8_t* data, std::size_t length)
{
    if (length > 0) gcry_md_write(static_cast<gcry_md_hd_t>(handle_), data, length);
}

Bytes Hash::finish()
{
    auto h = static_cast<gcry_md_hd_t>(handle_);
    const unsigned char* value = gcry_md_read(h, hash_id(algorithm_));
    Bytes out(value, value + hash_length(algorithm_));
    gcry_md_reset(h);
    return out;
}

Bytes digest(HashAlgorithm algorithm, const Bytes& data)
{
    Bytes out(hash_length(algorithm));
    gcry_md_hash_buffer(hash_id(algorithm), out.data(), data.data(), data.size());
    return out;
}

bool sm2_point_on_curve(const Bytes& x, const Bytes& y)
{
    Curve curve;
    if (!curve.ctx || x.size() != sm2_field_bytes || y.size() != sm2_field_bytes) return false;
    Mpi mx(x), my(y), one(gcry_mpi_set_ui(nullptr, 1));
    Point p;
    gcry_mpi_point_set(p.p, mx.v, my.v, one.v);
    return gcry_mpi_ec_curve_point(p.p, curve.ctx) != 0;
}

Bytes sm2_z(const Bytes& x, const Bytes& y, const std::uint8_t* id, std::size_t id_length)
{
    Curve curve;
    Mpi a(curve.get("a")), b(curve.get("b")), gx(curve.get("g.x")), gy(curve.get("g.y"));
    Hash h(HashAlgorithm::sm3);
    std::size_t bits = id_length * 8;
    std::uint8_t entl[2] = {static_cast<std::uint8_t>(bits >> 8), static_cast<std::uint8_t>(bits)};
    h.update(entl, 2);
    h.update(id, id_length);
    for (gcry_mpi_t v : {a.v, b.v, gx.v, gy.v}) {
        Bytes field = to_fixed(v, sm2_field_bytes);
        h.update(field.data(), field.size());
    }
    h.update(x.data(), x.size());
    h.update(y.data(), y.size());
    return h.finish();
}

bool sm2_generate(KeyPair& key)
{
    Curve curve;
    if (!curve.ctx) return false;
    Mpi n(curve.get("n")), n_minus_1, d, x, y;
    Point g(gcry_mpi_ec_get_point("g", curve.ctx, 1)), q;
    gcry_mpi_sub_ui(n_minus_1.v, n.v, 1);
    random_below(d.v, n_minus_1.v);  // d in [1, n-2]
    gcry_mpi_ec_mul(q.p, d.v, g.p, curve.ctx);
    if (gcry_mpi_ec_get_affine(x.v, y.v, q.p, curve.ctx)) return false;
    key = KeyPair{};
    key.type = KeyType::sm2;
    key.d = to_fixed(d.v, sm2_field_bytes);
    key.x = to_fixed(x.v, sm2_field_bytes);
    key.y = to_fixed(y.v, sm2_field_bytes);
    return true;
}

bool sm2_sign(const KeyPair& key, const Bytes& e_bytes, Bytes& r_out, Bytes& s_out)
{
    Curve curve;
    if (!curve.ctx || key.type != KeyType::sm2) return false;
    Mpi n(curve.get("n")), d(key.d), e(e_bytes), k, x1, y1, r, s, t, one(gcry_mpi_set_ui(nullptr, 1)), inv;
    Point g(gcry_mpi_ec_get_point("g", curve.ctx, 1)), kg;
    if (gcry_mpi_cmp_ui(d.v, 0) == 0 || gcry_mpi_cmp(d.v, n.v) >= 0) return false;
    gcry_mpi_addm(t.v, d.v, one.v, n.v);
    if (!gcry_mpi_invm(inv.v, t.v, n.v)) return false;  // (1 + d)^-1
    for (int attempt = 0; attempt < 64; ++attempt) {
        random_below(k.v, n.v);
        gcry_mpi_ec_mul(kg.p, k.v, g.p, curve.ctx);
        if (gcry_mpi_ec_get_affine(x1.v, y1.v, kg.p, curve.ctx)) continue;
        gcry_mpi_addm(r.v, e.v, x1.v, n.v);
        gcry_mpi_add(t.v, r.v, k.v);
        if (gcry_mpi_cmp_ui(r.v, 0) == 0 || gcry_mpi_cmp(t.v, n.v) == 0) continue;
        gcry_mpi_mulm(t.v, r.v, d.v, n.v);
        gcry_mpi_subm(t.v, k.v, t.v, n.v);
        gcry_mpi_mulm(s.v, inv.v, t.v, n.v);
        if (gcry_mpi_cmp_ui(s.v, 0) == 0) continue;
        r_out = to_fixed(r.v, sm2_field_bytes);
        s_out = to_fixed(s.v, sm2_field_bytes);
        return true;
    }
    return false;
}

bool sm2_verify(const Bytes& x, const Bytes& y, const Bytes& e_bytes, const Bytes& r_bytes, const Bytes& s_bytes)
{
    Curve curve;
    if (!curve.ctx || !sm2_point_on_curve(x, y)) return false;
    Mpi n(curve.get("n")), r(r_bytes), s(s_bytes), e(e_bytes), t, mx(x), my(y), one(gcry_mpi_set_ui(nullptr, 1));
    Mpi x1, y1, check;
    for (gcry_mpi_t v : {r.v, s.v})
        if (gcry_mpi_cmp_ui(v, 0) == 0 || gcry_mpi_cmp(v, n.v) >= 0) return false;
    gcry_mpi_addm(t.v, r.v, s.v, n.v);
    if (gcry_mpi_cmp_ui(t.v, 0) == 0) return false;
    Point g(gcry_mpi_ec_get_point("g", curve.ctx, 1)), pa, sg, tp, sum;
    gcry_mpi_point_set(pa.p, mx.v, my.v, one.v);
    gcry_mpi_ec_mul(sg.p, s.v, g.p, curve.ctx);
    gcry_mpi_ec_mul(tp.p, t.v, pa.p, curve.ctx);
    gcry_mpi_ec_add(sum.p, sg.p, tp.p, curve.ctx);
    if (gcry_mpi_ec_get_affine(x1.v, y1.v, sum.p, curve.ctx)) return false;
    gcry_mpi_addm(check.v, e.v, x1.v, n.v);
    return gcry_mpi_cmp(check.v, r.v) == 0;
}

bool rsa_generate(unsigned bits, KeyPair& key)
{
    char request[96];
    std::snprintf(request, sizeof request, "(genkey (rsa (nbits %u:%u)(rsa-use-e 5:65537)))",
                  static_cast<unsigned>(std::snprintf(nullptr, 0, "%u", bits)), bits);
    Sexp params, pair;
    if (gcry_sexp_new(&params.s, request, 0, 1) || gcry_pk_genkey(&pair.s, params.s)) return false;
    Sexp priv;
    priv.s = gcry_sexp_find_token(pair.s, "private-key", 0);
    gcry_mpi_t n = nullptr, e = nullptr, d = nullptr, p = nullptr, q = nullptr;
    if (!priv.s || gcry_sexp_extract_param(priv.s, "rsa", "nedpq", &n, &e, &d, &p, &q, nullptr)) return false;
    Mpi mn(n), me(e), md(d), mp(p), mq(q);
    key = KeyPair{};
    key.type = KeyType::rsa;
    key.n = to_bytes(n);
    key.e = to_bytes(e);
    key.d = to_bytes(d);
    key.p = to_bytes(p);
    key.q = to_bytes(q);
    return true;
}

std::size_t rsa_modulus_bytes(const Bytes& n)
{
    Mpi m(n);
    return (gcry_mpi_get_nbits(m.v) + 7) / 8;
}

static bool pkcs1_type1(const Bytes& data, std::size_t k, Bytes& block)
{
    if (k < 11 || data.size() > k - 11) return false;
    block.assign(k, 0xFF);
    block[0] = 0x00;
    block[1] = 0x01;
    block[k - data.size() - 1] = 0x00;
    std::copy(data.begin(), data.end(), block.end() - static_cast<std::ptrdiff_t>(data.size()));
    return true;
}

bool rsa_sign(const KeyPair& key, const Bytes& data, Bytes& signature)
{
    if (key.type != KeyType::rsa) return false;
    std::size_t k = rsa_modulus_bytes(key.n);
    Bytes block;
    if (!pkcs1_type1(data, k, block)) return false;
    Mpi n(key.n), e(key.e), d(key.d), p(key.p), q(key.q), u, m(block);
    Sexp skey, input, output;
    gcry_error_t err;
    if (!key.p.empty() && !key.q.empty()) {
        // libgcrypt's CRT wants p < q and u = p^-1 mod q.
        if (gcry_mpi_cmp(p.v, q.v) > 0) gcry_mpi_swap(p.v, q.v);
        if (!gcry_mpi_invm(u.v, p.v, q.v)) return false;
        err = gcry_sexp_build(&skey.s, nullptr, "(private-key (rsa (n %m)(e %m)(d %m)(p %m)(q %m)(u %m)))", n.v, e.v,
                              d.v, p.v, q.v, u.v);
    } else {
        err = gcry_sexp_build(&skey.s, nullptr, "(private-key (rsa (n %m)(e %m)(d %m)))", n.v, e.v, d.v);
    }
    if (err || gcry_sexp_build(&input.s, nullptr, "(data (flags raw)(value %m))", m.v)) return false;
    if (gcry_pk_sign(&output.s, input.s, skey.s)) return false;
    gcry_mpi_t s = nullptr;
    if (gcry_sexp_extract_param(output.s, "sig-val", "s", &s, nullptr)) return false;
    Mpi ms(s);
    signature = to_fixed(s, k);
    return !signature.empty();
}

bool rsa_verify(const Bytes& n_bytes, const Bytes& e_bytes, const Bytes& data, const Bytes& signature)
{
    std::size_t k = rsa_modulus_bytes(n_bytes);
    Bytes expected;
    if (signature.size() != k || !pkcs1_type1(data, k, expected)) return false;
    Mpi n(n_bytes), e(e_bytes), s(signature), m;
    if (gcry_mpi_cmp(s.v, n.v) >= 0 || gcry_mpi_cmp_ui(e.v, 0) == 0) return false;
    gcry_mpi_powm(m.v, s.v, e.v, n.v);
    return to_fixed(m.v, k) == expected;
}

void random_bytes(std::uint8_t* out, std::size_t length) { gcry_randomize(out, length, GCRY_STRONG_RANDOM); }

}  // namespace softskf::crypto
