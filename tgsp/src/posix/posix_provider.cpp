// The CryptoAPI provider calls over OpenSSL and the key files of the stores.
// SM2 hashes are e = SM3(Z || M) with Z of the key and the default identity
// "1234567812345678", as the SM2-capable Windows providers compute them.
#include <windows.h>
#include <wincrypt.h>

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "posix_keyfile.h"
#include "posix_nothrow.h"
#include "posix_utf.h"

namespace {

struct Provider {
    EVP_PKEY* key = nullptr;
    ~Provider() { EVP_PKEY_free(key); }
};

struct Hash {
    Provider* provider = nullptr;
    ALG_ID alg = 0;
    EVP_MD_CTX* md = nullptr;
    ~Hash() { EVP_MD_CTX_free(md); }
};

struct Key {
    Provider* provider = nullptr;
};

bool failWith(long error)
{
    SetLastError(static_cast<DWORD>(error));
    return false;
}

EVP_PKEY* readKeyFile(const std::string& path)
{
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return nullptr;
    EVP_PKEY* key = PEM_read_PrivateKey(f, nullptr, nullptr, nullptr);
    std::fclose(f);
    return key;
}

bool isSm2Key(EVP_PKEY* key)
{
    if (EVP_PKEY_is_a(key, "SM2")) return true;
    if (!EVP_PKEY_is_a(key, "EC")) return false;
    char curve[64] = {0};
    size_t len = 0;
    return EVP_PKEY_get_utf8_string_param(key, OSSL_PKEY_PARAM_GROUP_NAME, curve, sizeof curve, &len) == 1 &&
           std::strcmp(curve, "SM2") == 0;
}

// Z = SM3(ENTL || ID || a || b || xG || yG || xA || yA) of GM/T 0003.
bool sm2Z(EVP_PKEY* key, unsigned char z[32])
{
    static const char* const curve[] = {
        "FFFFFFFEFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF00000000FFFFFFFFFFFFFFFC",  // a
        "28E9FA9E9D9F5E344D5A9E4BCF6509A7F39789F515AB8F92DDBCBD414D940E93",  // b
        "32C4AE2C1F1981195F9904466A39C9948FE30BBFF2660BE1715A4589334C74C7",  // xG
        "BC3736A2F4F6779C59BDCEE36B692153D0A9877CC62A474002DF32E52139F0A0",  // yG
    };
    unsigned char pub[65];
    size_t pubLen = 0;
    if (EVP_PKEY_get_octet_string_param(key, OSSL_PKEY_PARAM_PUB_KEY, pub, sizeof pub, &pubLen) != 1 || pubLen != 65 ||
        pub[0] != 0x04)
        return false;
    static const char id[] = "1234567812345678";
    const unsigned int idBits = (sizeof id - 1) * 8;
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> md(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    EVP_DigestInit_ex(md.get(), EVP_sm3(), nullptr);
    unsigned char entl[2] = {static_cast<unsigned char>(idBits >> 8), static_cast<unsigned char>(idBits)};
    EVP_DigestUpdate(md.get(), entl, 2);
    EVP_DigestUpdate(md.get(), id, sizeof id - 1);
    for (const char* hex : curve) {
        unsigned char bytes[32];
        for (int i = 0; i < 32; ++i) std::sscanf(hex + 2 * i, "%2hhx", &bytes[i]);
        EVP_DigestUpdate(md.get(), bytes, 32);
    }
    EVP_DigestUpdate(md.get(), pub + 1, 64);
    unsigned int len = 0;
    return EVP_DigestFinal_ex(md.get(), z, &len) == 1 && len == 32;
}

const EVP_MD* digestOf(ALG_ID alg)
{
    switch (alg) {
    case CALG_MD5: return EVP_md5();
    case CALG_SHA1: return EVP_sha1();
    case CALG_SHA_256: return EVP_sha256();
    case CALG_SM3: return EVP_sm3();
    default: return nullptr;
    }
}

// The value the key signs: e for SM2, the digest for RSA.
std::vector<unsigned char> finishDigest(Hash* hash)
{
    std::vector<unsigned char> digest(EVP_MAX_MD_SIZE);
    unsigned int len = 0;
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> copy(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    // A copy, so the hash can be signed again as CryptoAPI allows.
    if (EVP_MD_CTX_copy_ex(copy.get(), hash->md) != 1 || EVP_DigestFinal_ex(copy.get(), digest.data(), &len) != 1)
        return {};
    digest.resize(len);
    return digest;
}

bool signSm2(EVP_PKEY* key, const std::vector<unsigned char>& e, std::vector<unsigned char>& out)
{
    std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> ctx(EVP_PKEY_CTX_new(key, nullptr), EVP_PKEY_CTX_free);
    size_t len = 0;
    if (!ctx || EVP_PKEY_sign_init(ctx.get()) != 1 || EVP_PKEY_sign(ctx.get(), nullptr, &len, e.data(), e.size()) != 1)
        return false;
    std::vector<unsigned char> der(len);
    if (EVP_PKEY_sign(ctx.get(), der.data(), &len, e.data(), e.size()) != 1) return false;
    const unsigned char* p = der.data();
    std::unique_ptr<ECDSA_SIG, decltype(&ECDSA_SIG_free)> sig(d2i_ECDSA_SIG(nullptr, &p, static_cast<long>(len)),
                                                              ECDSA_SIG_free);
    if (!sig) return false;
    out.assign(64, 0);
    if (BN_bn2binpad(ECDSA_SIG_get0_r(sig.get()), out.data(), 32) != 32 ||
        BN_bn2binpad(ECDSA_SIG_get0_s(sig.get()), out.data() + 32, 32) != 32)
        return false;
    std::reverse(out.begin(), out.begin() + 32);
    std::reverse(out.begin() + 32, out.end());
    return true;
}

bool signRsa(EVP_PKEY* key, ALG_ID alg, const std::vector<unsigned char>& digest, std::vector<unsigned char>& out)
{
    std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> ctx(EVP_PKEY_CTX_new(key, nullptr), EVP_PKEY_CTX_free);
    size_t len = 0;
    if (!ctx || EVP_PKEY_sign_init(ctx.get()) != 1 || EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING) != 1 ||
        EVP_PKEY_CTX_set_signature_md(ctx.get(), digestOf(alg)) != 1 ||
        EVP_PKEY_sign(ctx.get(), nullptr, &len, digest.data(), digest.size()) != 1)
        return false;
    out.resize(len);
    if (EVP_PKEY_sign(ctx.get(), out.data(), &len, digest.data(), digest.size()) != 1) return false;
    out.resize(len);
    std::reverse(out.begin(), out.end());
    return true;
}

HCRYPTPROV providerFor(EVP_PKEY* key)
{
    auto* p = new Provider{};
    p->key = key;
    return reinterpret_cast<HCRYPTPROV>(p);
}

}  // namespace

void posix_setKeyFile(PCCERT_CONTEXT cert, const std::string& path)
{
    CRYPT_DATA_BLOB blob{static_cast<DWORD>(path.size()), reinterpret_cast<BYTE*>(const_cast<char*>(path.data()))};
    CertSetCertificateContextProperty(cert, POSIX_KEY_FILE_PROP_ID, 0, &blob);
}

std::string posix_keyFileOf(PCCERT_CONTEXT cert)
{
    DWORD len = 0;
    if (!CertGetCertificateContextProperty(cert, POSIX_KEY_FILE_PROP_ID, nullptr, &len) || len == 0) return {};
    std::string path(len, '\0');
    if (!CertGetCertificateContextProperty(cert, POSIX_KEY_FILE_PROP_ID, path.data(), &len)) return {};
    return path;
}

BOOL CryptAcquireCertificatePrivateKey(PCCERT_CONTEXT cert, DWORD, void*, HCRYPTPROV* prov, DWORD* keySpec,
                                       BOOL* callerFreeProv)
{
    if (cert == nullptr || prov == nullptr) return failWith(E_INVALIDARG);
    return posix_noThrow([&]() -> BOOL {
        std::string path = posix_keyFileOf(cert);
        if (path.empty()) return failWith(CRYPT_E_NO_KEY_PROPERTY);
        EVP_PKEY* key = readKeyFile(path);
        if (key == nullptr) return failWith(NTE_BAD_KEYSET);
        *prov = providerFor(key);
        if (keySpec != nullptr) *keySpec = AT_SIGNATURE;
        // Nothing is cached with the certificate: the handle is the caller's.
        if (callerFreeProv != nullptr) *callerFreeProv = TRUE;
        return TRUE;
    });
}

BOOL CryptAcquireContextW(HCRYPTPROV* prov, LPCWSTR container, LPCWSTR, DWORD, DWORD)
{
    if (prov == nullptr || container == nullptr) return failWith(NTE_BAD_KEYSET);
    return posix_noThrow([&]() -> BOOL {
        EVP_PKEY* key = readKeyFile(posix_wideToUtf8(container, static_cast<size_t>(lstrlenW(container))));
        if (key == nullptr) return failWith(NTE_BAD_KEYSET);
        *prov = providerFor(key);
        return TRUE;
    });
}

BOOL CryptReleaseContext(HCRYPTPROV prov, DWORD)
{
    if (prov == 0) return failWith(ERROR_INVALID_HANDLE);
    delete reinterpret_cast<Provider*>(prov);
    return TRUE;
}

BOOL CryptGetUserKey(HCRYPTPROV prov, DWORD keySpec, HCRYPTKEY* key)
{
    auto* p = reinterpret_cast<Provider*>(prov);
    if (p == nullptr || key == nullptr) return failWith(ERROR_INVALID_PARAMETER);
    // A key file holds one signing key.
    if (keySpec != AT_SIGNATURE || p->key == nullptr) return failWith(NTE_NO_KEY);
    *key = reinterpret_cast<HCRYPTKEY>(new Key{p});
    return TRUE;
}

BOOL CryptDestroyKey(HCRYPTKEY key)
{
    if (key == 0) return failWith(ERROR_INVALID_HANDLE);
    delete reinterpret_cast<Key*>(key);
    return TRUE;
}

BOOL CryptCreateHash(HCRYPTPROV prov, ALG_ID alg, HCRYPTKEY, DWORD, HCRYPTHASH* hash)
{
    auto* p = reinterpret_cast<Provider*>(prov);
    if (p == nullptr || hash == nullptr) return failWith(ERROR_INVALID_PARAMETER);
    const EVP_MD* md = digestOf(alg);
    bool sm2 = isSm2Key(p->key);
    // SM3 serves SM2 keys, the other digests RSA keys.
    if (md == nullptr || (alg == CALG_SM3) != sm2) return failWith(NTE_BAD_ALGID);
    return posix_noThrow([&]() -> BOOL {
        auto h = std::make_unique<Hash>();
        h->provider = p;
        h->alg = alg;
        h->md = EVP_MD_CTX_new();
        if (h->md == nullptr || EVP_DigestInit_ex(h->md, md, nullptr) != 1) return failWith(NTE_FAIL);
        if (sm2) {
            unsigned char z[32];
            if (!sm2Z(p->key, z)) return failWith(NTE_FAIL);
            EVP_DigestUpdate(h->md, z, sizeof z);
        }
        *hash = reinterpret_cast<HCRYPTHASH>(h.release());
        return TRUE;
    });
}

BOOL CryptHashData(HCRYPTHASH hash, const BYTE* data, DWORD dataLen, DWORD)
{
    auto* h = reinterpret_cast<Hash*>(hash);
    if (h == nullptr || (data == nullptr && dataLen > 0)) return failWith(ERROR_INVALID_PARAMETER);
    if (EVP_DigestUpdate(h->md, data, dataLen) != 1) return failWith(NTE_BAD_HASH);
    return TRUE;
}

BOOL CryptSignHashW(HCRYPTHASH hash, DWORD keySpec, LPCWSTR, DWORD, BYTE* signature, DWORD* signatureLen)
{
    auto* h = reinterpret_cast<Hash*>(hash);
    if (h == nullptr || signatureLen == nullptr) return failWith(ERROR_INVALID_PARAMETER);
    if (keySpec != AT_SIGNATURE) return failWith(NTE_NO_KEY);
    return posix_noThrow([&]() -> BOOL {
        std::vector<unsigned char> digest = finishDigest(h);
        std::vector<unsigned char> sig;
        EVP_PKEY* key = h->provider->key;
        bool ok = !digest.empty() &&
                  (h->alg == CALG_SM3 ? signSm2(key, digest, sig) : signRsa(key, h->alg, digest, sig));
        if (!ok) return failWith(NTE_FAIL);
        DWORD needed = static_cast<DWORD>(sig.size());
        if (signature == nullptr) {
            *signatureLen = needed;
            return TRUE;
        }
        if (*signatureLen < needed) {
            *signatureLen = needed;
            return failWith(ERROR_MORE_DATA);
        }
        std::memcpy(signature, sig.data(), needed);
        *signatureLen = needed;
        return TRUE;
    });
}

BOOL CryptDestroyHash(HCRYPTHASH hash)
{
    if (hash == 0) return failWith(ERROR_INVALID_HANDLE);
    delete reinterpret_cast<Hash*>(hash);
    return TRUE;
}
