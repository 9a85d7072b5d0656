// The CryptoAPI provider interface of the test CSP: containers are SM2 key
// files (key_file.h), hashes are SM3 over Z || M, signatures come back
// little-endian as CryptoAPI providers return them. Every handle is checked
// against the live objects, so a stale or foreign handle fails instead of
// crashing.
#include <windows.h>

#include <wincrypt.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "crypto.h"
#include "key_file.h"

namespace crypto = softskf::crypto;

// The table Wine's and Windows' advapi32 hand to CPAcquireContext.
struct VTableProvStruc {
    DWORD Version;
    FARPROC FuncVerifyImage;
    FARPROC FuncReturnhWnd;
    DWORD dwProvType;
    BYTE* pbContextInfo;
    DWORD cbContextInfo;
    LPSTR pszProvName;
};

namespace {

constexpr ALG_ID kCalgSm3 = 0x800F;
constexpr DWORD kSm2SignatureBytes = 2 * crypto::sm2_field_bytes;
const unsigned char kDefaultId[] = "1234567812345678";
constexpr size_t kDefaultIdBytes = sizeof kDefaultId - 1;
const char kSignErrorVariable[] = "DSC_TEST_CSP_SIGN_ERROR";

struct Provider {
    bool hasPublicKey = false;  // false for a verification context
    bool hasPrivateKey = false;
    softskf::KeyPair key;
};

struct Hash {
    Provider* owner;
    crypto::Hash sm3{crypto::HashAlgorithm::sm3};
    bool finished = false;
    softskf::Bytes value;  // e, once finished
    explicit Hash(Provider* p) : owner(p) {}
};

struct Key {
    Provider* owner;
};

std::mutex lock;
std::set<Provider*> providers;
std::set<Hash*> hashes;
std::set<Key*> keys;

BOOL fail(DWORD error)
{
    SetLastError(error);
    return FALSE;
}

Provider* findProvider(HCRYPTPROV h)
{
    auto p = reinterpret_cast<Provider*>(h);
    return providers.count(p) ? p : nullptr;
}

// A hash or key handle counts only together with the provider that made it.
template <class T>
T* findOwned(const std::set<T*>& live, HCRYPTPROV hProv, ULONG_PTR h)
{
    auto item = reinterpret_cast<T*>(h);
    return live.count(item) && item->owner == reinterpret_cast<Provider*>(hProv) ? item : nullptr;
}

template <class T>
BOOL destroyOwned(std::set<T*>& live, HCRYPTPROV hProv, ULONG_PTR h, DWORD badHandle)
{
    std::lock_guard<std::mutex> guard(lock);
    T* item = findOwned(live, hProv, h);
    if (item == nullptr) return fail(badHandle);
    live.erase(item);
    delete item;
    return TRUE;
}

template <class T>
void destroyOwnedBy(std::set<T*>& live, Provider* owner)
{
    for (auto it = live.begin(); it != live.end();) {
        if ((*it)->owner == owner) {
            delete *it;
            it = live.erase(it);
        } else {
            ++it;
        }
    }
}

const softskf::Bytes& hashValue(Hash& hash)
{
    if (!hash.finished) {
        hash.value = hash.sm3.finish();
        hash.finished = true;
    }
    return hash.value;
}

// The failure the tests ask for through the environment, if any.
bool injectedSignError(DWORD& error)
{
    char text[32];
    DWORD length = GetEnvironmentVariableA(kSignErrorVariable, text, sizeof text);
    if (length == 0 || length >= sizeof text) return false;
    char* end = nullptr;
    unsigned long value = std::strtoul(text, &end, 0);
    if (end == text || *end != '\0') return false;
    error = static_cast<DWORD>(value);
    return true;
}

// The provider keeps handle tables and libgcrypt state; advapi32 unloads it
// whenever its last context is released, so it stays loaded once used.
void pinModule()
{
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCWSTR>(&pinModule), &self);
}

}  // namespace

// Exported undecorated through dsc_test_csp.def, as advapi32 looks them up.
#define CSP_EXPORT extern "C" BOOL WINAPI

CSP_EXPORT CPAcquireContext(HCRYPTPROV* phProv, LPCSTR szContainer, DWORD dwFlags, VTableProvStruc* pVTable)
{
    (void)pVTable;
    if (phProv == nullptr) return fail(ERROR_INVALID_PARAMETER);
    *phProv = 0;
    if (dwFlags & ~(CRYPT_VERIFYCONTEXT | CRYPT_SILENT | CRYPT_MACHINE_KEYSET)) return fail(NTE_BAD_FLAGS);
    crypto::initialize();
    pinModule();
    auto provider = std::make_unique<Provider>();
    if (!(dwFlags & CRYPT_VERIFYCONTEXT)) {
        // There is no default container: each one is a key file.
        if (szContainer == nullptr || *szContainer == '\0') return fail(NTE_BAD_KEYSET);
        switch (readKeyFile(szContainer, provider->key, provider->hasPrivateKey)) {
        case KeyFileStatus::missing: return fail(NTE_BAD_KEYSET);
        case KeyFileStatus::malformed: return fail(NTE_KEYSET_ENTRY_BAD);
        case KeyFileStatus::ok: break;
        }
        provider->hasPublicKey = true;
    }
    std::lock_guard<std::mutex> guard(lock);
    *phProv = reinterpret_cast<HCRYPTPROV>(provider.get());
    providers.insert(provider.release());
    return TRUE;
}

CSP_EXPORT CPReleaseContext(HCRYPTPROV hProv, DWORD dwFlags)
{
    std::lock_guard<std::mutex> guard(lock);
    Provider* provider = findProvider(hProv);
    if (provider == nullptr) return fail(NTE_BAD_UID);
    if (dwFlags != 0) return fail(NTE_BAD_FLAGS);
    destroyOwnedBy(hashes, provider);
    destroyOwnedBy(keys, provider);
    providers.erase(provider);
    delete provider;
    return TRUE;
}

CSP_EXPORT CPGetUserKey(HCRYPTPROV hProv, DWORD dwKeySpec, HCRYPTKEY* phUserKey)
{
    std::lock_guard<std::mutex> guard(lock);
    Provider* provider = findProvider(hProv);
    if (provider == nullptr) return fail(NTE_BAD_UID);
    if (phUserKey == nullptr) return fail(ERROR_INVALID_PARAMETER);
    // A container holds one SM2 signature key and never an exchange key.
    if (dwKeySpec != AT_SIGNATURE || !provider->hasPrivateKey) return fail(NTE_NO_KEY);
    auto key = new Key{provider};
    keys.insert(key);
    *phUserKey = reinterpret_cast<HCRYPTKEY>(key);
    return TRUE;
}

CSP_EXPORT CPDestroyKey(HCRYPTPROV hProv, HCRYPTKEY hKey) { return destroyOwned(keys, hProv, hKey, NTE_BAD_KEY); }

CSP_EXPORT CPCreateHash(HCRYPTPROV hProv, ALG_ID Algid, HCRYPTKEY hKey, DWORD dwFlags, HCRYPTHASH* phHash)
{
    std::lock_guard<std::mutex> guard(lock);
    Provider* provider = findProvider(hProv);
    if (provider == nullptr) return fail(NTE_BAD_UID);
    if (phHash == nullptr) return fail(ERROR_INVALID_PARAMETER);
    if (Algid != kCalgSm3) return fail(NTE_BAD_ALGID);
    if (hKey != 0) return fail(NTE_BAD_KEY);
    if (dwFlags != 0) return fail(NTE_BAD_FLAGS);
    // SM2 signs SM3(Z || M): Z needs the container's public key.
    if (!provider->hasPublicKey) return fail(NTE_NO_KEY);
    auto hash = std::make_unique<Hash>(provider);
    if (!hash->sm3.valid()) return fail(NTE_FAIL);
    softskf::Bytes z = crypto::sm2_z(provider->key.x, provider->key.y, kDefaultId, kDefaultIdBytes);
    hash->sm3.update(z.data(), z.size());
    *phHash = reinterpret_cast<HCRYPTHASH>(hash.get());
    hashes.insert(hash.release());
    return TRUE;
}

CSP_EXPORT CPHashData(HCRYPTPROV hProv, HCRYPTHASH hHash, const BYTE* pbData, DWORD cbDataLen, DWORD dwFlags)
{
    std::lock_guard<std::mutex> guard(lock);
    Hash* hash = findOwned(hashes, hProv, hHash);
    if (hash == nullptr) return fail(NTE_BAD_HASH);
    if (dwFlags != 0) return fail(NTE_BAD_FLAGS);
    if (hash->finished) return fail(NTE_BAD_HASH_STATE);
    if (cbDataLen != 0 && pbData == nullptr) return fail(ERROR_INVALID_PARAMETER);
    hash->sm3.update(pbData, cbDataLen);
    return TRUE;
}

CSP_EXPORT CPGetHashParam(HCRYPTPROV hProv, HCRYPTHASH hHash, DWORD dwParam, LPBYTE pbData, LPDWORD pcbDataLen,
                          DWORD dwFlags)
{
    std::lock_guard<std::mutex> guard(lock);
    Hash* hash = findOwned(hashes, hProv, hHash);
    if (hash == nullptr) return fail(NTE_BAD_HASH);
    if (pcbDataLen == nullptr) return fail(ERROR_INVALID_PARAMETER);
    if (dwFlags != 0) return fail(NTE_BAD_FLAGS);
    DWORD number = 0;
    softskf::Bytes value;
    switch (dwParam) {
    case HP_ALGID: number = kCalgSm3; break;
    case HP_HASHSIZE: number = static_cast<DWORD>(crypto::hash_length(crypto::HashAlgorithm::sm3)); break;
    case HP_HASHVAL: value = hashValue(*hash); break;
    default: return fail(NTE_BAD_TYPE);
    }
    if (value.empty()) value.assign(reinterpret_cast<BYTE*>(&number), reinterpret_cast<BYTE*>(&number) + sizeof number);
    DWORD room = *pcbDataLen;
    *pcbDataLen = static_cast<DWORD>(value.size());
    if (pbData == nullptr) return TRUE;
    if (room < value.size()) return fail(ERROR_MORE_DATA);
    std::copy(value.begin(), value.end(), pbData);
    return TRUE;
}

CSP_EXPORT CPDestroyHash(HCRYPTPROV hProv, HCRYPTHASH hHash)
{
    return destroyOwned(hashes, hProv, hHash, NTE_BAD_HASH);
}

CSP_EXPORT CPSignHash(HCRYPTPROV hProv, HCRYPTHASH hHash, DWORD dwKeySpec, LPCWSTR szDescription, DWORD dwFlags,
                      LPBYTE pbSignature, LPDWORD pcbSigLen)
{
    std::lock_guard<std::mutex> guard(lock);
    Provider* provider = findProvider(hProv);
    if (provider == nullptr) return fail(NTE_BAD_UID);
    Hash* hash = findOwned(hashes, hProv, hHash);
    if (hash == nullptr) return fail(NTE_BAD_HASH);
    if (pcbSigLen == nullptr) return fail(ERROR_INVALID_PARAMETER);
    // A description would be signed too (legacy providers hash it in); the
    // callers under test never pass one, and one they pass by mistake shows.
    if (szDescription != nullptr) return fail(ERROR_INVALID_PARAMETER);
    if (dwFlags != 0) return fail(NTE_BAD_FLAGS);
    if (dwKeySpec != AT_SIGNATURE || !provider->hasPrivateKey) return fail(NTE_NO_KEY);
    DWORD injected = 0;
    if (injectedSignError(injected)) return fail(injected);
    DWORD room = *pcbSigLen;
    *pcbSigLen = kSm2SignatureBytes;
    if (pbSignature == nullptr) return TRUE;
    if (room < kSm2SignatureBytes) return fail(ERROR_MORE_DATA);
    softskf::Bytes r, s;
    if (!crypto::sm2_sign(provider->key, hashValue(*hash), r, s)) return fail(NTE_FAIL);
    // CryptoAPI's byte order: each of r and s least significant byte first.
    std::reverse_copy(r.begin(), r.end(), pbSignature);
    std::reverse_copy(s.begin(), s.end(), pbSignature + crypto::sm2_field_bytes);
    return TRUE;
}

// The test provider has no parameters to set; CryptAcquireCertificatePrivateKey
// passes a certificate's provider parameters on and ignores the outcome.
CSP_EXPORT CPSetProvParam(HCRYPTPROV hProv, DWORD, const BYTE*, DWORD)
{
    std::lock_guard<std::mutex> guard(lock);
    return findProvider(hProv) ? fail(NTE_BAD_TYPE) : fail(NTE_BAD_UID);
}

// What the test provider does not do.
#define CSP_UNSUPPORTED(name, ...)                                                                                     \
    CSP_EXPORT name(__VA_ARGS__) { return fail(NTE_NOT_SUPPORTED); }

CSP_UNSUPPORTED(CPGenKey, HCRYPTPROV, ALG_ID, DWORD, HCRYPTKEY*)
CSP_UNSUPPORTED(CPDeriveKey, HCRYPTPROV, ALG_ID, HCRYPTHASH, DWORD, HCRYPTKEY*)
CSP_UNSUPPORTED(CPSetKeyParam, HCRYPTPROV, HCRYPTKEY, DWORD, const BYTE*, DWORD)
CSP_UNSUPPORTED(CPGetKeyParam, HCRYPTPROV, HCRYPTKEY, DWORD, LPBYTE, LPDWORD, DWORD)
CSP_UNSUPPORTED(CPGetProvParam, HCRYPTPROV, DWORD, LPBYTE, LPDWORD, DWORD)
CSP_UNSUPPORTED(CPSetHashParam, HCRYPTPROV, HCRYPTHASH, DWORD, const BYTE*, DWORD)
CSP_UNSUPPORTED(CPExportKey, HCRYPTPROV, HCRYPTKEY, HCRYPTKEY, DWORD, DWORD, LPBYTE, LPDWORD)
CSP_UNSUPPORTED(CPImportKey, HCRYPTPROV, const BYTE*, DWORD, HCRYPTKEY, DWORD, HCRYPTKEY*)
CSP_UNSUPPORTED(CPEncrypt, HCRYPTPROV, HCRYPTKEY, HCRYPTHASH, BOOL, DWORD, LPBYTE, LPDWORD, DWORD)
CSP_UNSUPPORTED(CPDecrypt, HCRYPTPROV, HCRYPTKEY, HCRYPTHASH, BOOL, DWORD, LPBYTE, LPDWORD)
CSP_UNSUPPORTED(CPHashSessionKey, HCRYPTPROV, HCRYPTHASH, HCRYPTKEY, DWORD)
CSP_UNSUPPORTED(CPVerifySignature, HCRYPTPROV, HCRYPTHASH, const BYTE*, DWORD, HCRYPTKEY, LPCWSTR, DWORD)
CSP_UNSUPPORTED(CPGenRandom, HCRYPTPROV, DWORD, LPBYTE)
