// The test CSP and the key-bearing store entries, through plain CryptoAPI:
// what the signing tests rely on, checked against a verifier of our own that
// shares nothing with the provider (Z from the standard's curve constants,
// libgcrypt's SM2 and RSA verification).
#include <windows.h>

#include <wincrypt.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "fixtures.h"
#include "gcrypt_init.h"
#include "temp_dir.h"
#include "test_csp.h"
#include "test_stores.h"
#include "gcrypt_sm2.h"
#include "token_vendor.h"

namespace {

using Bytes = std::string;

constexpr ALG_ID kCalgSm3 = 0x800F;
constexpr DWORD kSm2Signature = 64;

// CryptoAPI's little-endian halves back to r || s.
Bytes reverseHalves(Bytes signature)
{
    std::reverse(signature.begin(), signature.begin() + 32);
    std::reverse(signature.begin() + 32, signature.end());
    return signature;
}

Bytes publicKeyOf(PCCERT_CONTEXT cert)
{
    const CRYPT_BIT_BLOB& key = cert->pCertInfo->SubjectPublicKeyInfo.PublicKey;
    return Bytes(reinterpret_cast<const char*>(key.pbData), key.cbData);
}

// The stored copy of `der` in the user's "MY" store.
struct StoredCert {
    HCERTSTORE store = CertOpenSystemStoreW(0, L"MY");
    PCCERT_CONTEXT cert = nullptr;
    explicit StoredCert(const Bytes& der)
    {
        PCCERT_CONTEXT probe = CertCreateCertificateContext(
            X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()), static_cast<DWORD>(der.size()));
        if (store && probe)
            cert = CertFindCertificateInStore(store, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, probe, nullptr);
        if (probe) CertFreeCertificateContext(probe);
    }
    ~StoredCert()
    {
        if (cert) CertFreeCertificateContext(cert);
        if (store) CertCloseStore(store, 0);
    }
};

// The process environment the provider reads, restored afterwards.
struct EnvVar {
    const char* name;
    EnvVar(const char* n, const char* value) : name(n) { SetEnvironmentVariableA(name, value); }
    ~EnvVar() { SetEnvironmentVariableA(name, nullptr); }
};

Bytes signSm3(HCRYPTPROV prov, DWORD keySpec, const Bytes& message, BOOL& ok, DWORD& error)
{
    HCRYPTHASH hash = 0;
    Bytes signature(256, '\0');
    DWORD length = static_cast<DWORD>(signature.size());
    // The message in two pieces: the provider must hash as a stream.
    size_t half = message.size() / 2;
    ok = CryptCreateHash(prov, kCalgSm3, 0, 0, &hash) &&
         CryptHashData(hash, reinterpret_cast<const BYTE*>(message.data()), static_cast<DWORD>(half), 0) &&
         CryptHashData(hash, reinterpret_cast<const BYTE*>(message.data() + half),
                       static_cast<DWORD>(message.size() - half), 0) &&
         CryptSignHashW(hash, keySpec, nullptr, 0, reinterpret_cast<BYTE*>(signature.data()), &length);
    error = ok ? 0 : GetLastError();
    if (hash) CryptDestroyHash(hash);
    signature.resize(ok ? length : 0);
    return signature;
}

class TestCsp : public ::testing::Test {
protected:
    void SetUp() override
    {
        gcrypt_init();
        test_stores_clear();
    }
    void TearDown() override
    {
        stored_.reset();
        test_stores_clear();
    }

    // `keyFixture`'s certificate added to "MY" with its key, and the provider
    // handle the platform binds it to, cached with the stored certificate.
    HCRYPTPROV bindInMy(const char* keyFixture, DWORD& keySpec)
    {
        Bytes der = tokenCertificate(keyFixture);
        test_stores_addWithKey("MY", der, keyFixture);
        stored_ = std::make_unique<StoredCert>(der);
        HCRYPTPROV prov = 0;
        BOOL callerFree = TRUE;
        EXPECT_NE(stored_->cert, nullptr);
        if (stored_->cert == nullptr) return 0;
        EXPECT_TRUE(CryptAcquireCertificatePrivateKey(stored_->cert, CRYPT_ACQUIRE_CACHE_FLAG, nullptr, &prov, &keySpec,
                                                      &callerFree))
            << std::hex << GetLastError();
        EXPECT_FALSE(callerFree);
        return prov;
    }
    PCCERT_CONTEXT storedCert() const { return stored_->cert; }

private:
    std::unique_ptr<StoredCert> stored_;
};

// The verifier itself, on the published example of GB/T 32918.5 Annex A: a
// Z or an SM2 check gone wrong here would make every signature check below
// meaningless.
TEST_F(TestCsp, OwnVerifierAcceptsThePublishedSm2Example)
{
    Bytes point = unhex("04 09F9DF311E5421A150DD7D161E4BC5C672179FAD1833FC076BB08FF356F35020"
                        "CCEA490CE26775A52DC6EA718CC1AA600AED05FBF35E084A6632F6072DA9AD13");
    Bytes e = sm2E(point, "message digest");
    EXPECT_EQ(hexOf(e), "F0B43E94BA45ACCAACE692ED534382EB17E6AB5A19CE7B31F4486FDFC0D28640");
    Bytes rs = unhex("F5A03B0648D2C4630EEAC513E1BB81A15944DA3827D5B74143AC7EACEEE720B3"
                     "B1B6AA29DF212FD8763182BC0D421CA1BB9038FD1F7F42D4840B69C485BBC1AA");
    EXPECT_TRUE(sm2Verifies(point, e, rs));
    EXPECT_FALSE(sm2Verifies(point, sm2E(point, "message digesT"), rs));
}

TEST_F(TestCsp, SignsSm2OverZAndTheDataForACertificateInMy)
{
    test_csp_register();
    const std::vector<Bytes> messages = {"", "abc", Bytes(1000, 'x') + "end"};
    for (const char* keyFixture : {"sm2_zhang", "sm2_li"}) {
        SCOPED_TRACE(keyFixture);
        DWORD keySpec = 0;
        HCRYPTPROV prov = bindInMy(keyFixture, keySpec);
        ASSERT_NE(prov, 0u);
        EXPECT_EQ(keySpec, static_cast<DWORD>(AT_SIGNATURE));
        Bytes point = publicKeyOf(storedCert());
        for (const Bytes& message : messages) {
            SCOPED_TRACE(message.size());
            BOOL ok = FALSE;
            DWORD error = 0;
            Bytes signature = signSm3(prov, keySpec, message, ok, error);
            ASSERT_TRUE(ok) << std::hex << error;
            ASSERT_EQ(signature.size(), kSm2Signature);
            Bytes rs = reverseHalves(signature);
            EXPECT_TRUE(sm2Verifies(point, sm2E(point, message), rs)) << hexOf(signature);
            EXPECT_FALSE(sm2Verifies(point, sm2E(point, message + "!"), rs));
            EXPECT_FALSE(sm2Verifies(point, sm2E(point, message), signature)) << "not little-endian";
        }
        // AT_KEYEXCHANGE names no key of the container.
        BOOL ok = FALSE;
        DWORD error = 0;
        signSm3(prov, AT_KEYEXCHANGE, "abc", ok, error);
        EXPECT_FALSE(ok);
        EXPECT_EQ(error, static_cast<DWORD>(NTE_NO_KEY));
    }
}

TEST_F(TestCsp, SizeQueryAndShortBuffer)
{
    DWORD keySpec = 0;
    HCRYPTPROV prov = bindInMy("sm2_zhang", keySpec);
    ASSERT_NE(prov, 0u);
    HCRYPTHASH hash = 0;
    ASSERT_TRUE(CryptCreateHash(prov, kCalgSm3, 0, 0, &hash));
    DWORD length = 0;
    EXPECT_TRUE(CryptSignHashW(hash, AT_SIGNATURE, nullptr, 0, nullptr, &length));
    EXPECT_EQ(length, kSm2Signature);
    BYTE shortBuffer[kSm2Signature - 1];
    length = sizeof shortBuffer;
    EXPECT_FALSE(CryptSignHashW(hash, AT_SIGNATURE, nullptr, 0, shortBuffer, &length));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MORE_DATA));
    EXPECT_EQ(length, kSm2Signature);
    CryptDestroyHash(hash);
}

TEST_F(TestCsp, FailsSignHashWithTheChosenLastError)
{
    DWORD keySpec = 0;
    HCRYPTPROV prov = bindInMy("sm2_zhang", keySpec);
    ASSERT_NE(prov, 0u);
    const struct {
        const char* setting;
        DWORD error;
    } cases[] = {{"0x80000A04", 0x80000A04},
                 {"2147486208", 0x80000A00},
                 {"1", ERROR_INVALID_FUNCTION},
                 {"0x056CCB41", 0x056CCB41}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.setting);
        BOOL ok = TRUE;
        DWORD error = 0;
        {
            EnvVar failing("DSC_TEST_CSP_SIGN_ERROR", c.setting);
            signSm3(prov, keySpec, "abc", ok, error);
        }
        EXPECT_FALSE(ok);
        EXPECT_EQ(error, c.error);
    }
    // Not a number: the provider signs as usual.
    EnvVar garbage("DSC_TEST_CSP_SIGN_ERROR", "0x80000A04z");
    BOOL ok = FALSE;
    DWORD error = 0;
    EXPECT_EQ(signSm3(prov, keySpec, "abc", ok, error).size(), kSm2Signature);
}

TEST_F(TestCsp, ContainersAreKeyFiles)
{
    test_csp_register();
    TempDir dir;
    Bytes json = fixture("tokens/sm2_zhang.json");
    auto field = [&](const std::string& name) {
        size_t start = json.find("\"" + name + "\": \"") + name.size() + 5;
        return json.substr(start, json.find('"', start) - start);
    };
    const Bytes point = "x=" + field("x") + "\ny=" + field("y") + "\n";
    dir.write("full.key", "type=sm2\nd=" + field("d") + "\n" + point);
    dir.write("public.key", "# no private key\ntype=sm2\n" + point);
    dir.write("offcurve.key", "type=sm2\nd=01\nx=" + field("x") + "\ny=" + field("x") + "\n");
    dir.write("rsa.key", "type=rsa\n" + point);
    const struct {
        const char* file;
        DWORD acquireError;  // 0: acquired
        bool signatureKey;
    } cases[] = {{"full.key", 0, true},
                 {"public.key", 0, false},
                 {"missing.key", static_cast<DWORD>(NTE_BAD_KEYSET), false},
                 {"offcurve.key", static_cast<DWORD>(NTE_KEYSET_ENTRY_BAD), false},
                 {"rsa.key", static_cast<DWORD>(NTE_KEYSET_ENTRY_BAD), false}};
    std::wstring provider(kTestCspName, kTestCspName + strlen(kTestCspName));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        std::string path = dir.file(c.file);
        std::wstring container(path.begin(), path.end());
        HCRYPTPROV prov = 0;
        BOOL acquired = CryptAcquireContextW(&prov, container.c_str(), provider.c_str(), PROV_RSA_FULL, 0);
        DWORD error = acquired ? 0 : GetLastError();
        EXPECT_EQ(error, c.acquireError) << std::hex << error;
        if (!acquired) continue;
        HCRYPTKEY key = 0;
        EXPECT_EQ(CryptGetUserKey(prov, AT_SIGNATURE, &key), c.signatureKey ? TRUE : FALSE);
        if (key) CryptDestroyKey(key);
        key = 0;
        EXPECT_FALSE(CryptGetUserKey(prov, AT_KEYEXCHANGE, &key));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(NTE_NO_KEY));
        HCRYPTHASH sha1 = 0;
        EXPECT_FALSE(CryptCreateHash(prov, CALG_SHA1, 0, 0, &sha1));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(NTE_BAD_ALGID));
        CryptReleaseContext(prov, 0);
    }
}

TEST_F(TestCsp, CertificateWithoutKeyPropertyHasNoKey)
{
    Bytes der = tokenCertificate("sm2_li");
    test_stores_addWithKey("MY", der, "sm2_li");
    // Added again without the property: the earlier one must not survive.
    test_stores_addWithKey("MY", der, "sm2_li", false);
    StoredCert stored(der);
    ASSERT_NE(stored.cert, nullptr);
    HCRYPTPROV prov = 0;
    DWORD keySpec = 0;
    BOOL callerFree = FALSE;
    EXPECT_FALSE(CryptAcquireCertificatePrivateKey(stored.cert, 0, nullptr, &prov, &keySpec, &callerFree));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(CRYPT_E_NO_KEY_PROPERTY));
}

// libgcrypt's PKCS#1 v1.5 verification of a SHA-1 signature, the modulus and
// exponent taken from the certificate.
bool rsaSha1Verifies(PCCERT_CONTEXT cert, const Bytes& message, const Bytes& bigEndianSignature)
{
    const CRYPT_BIT_BLOB& spki = cert->pCertInfo->SubjectPublicKeyInfo.PublicKey;
    DWORD size = 0;
    if (!CryptDecodeObject(X509_ASN_ENCODING, RSA_CSP_PUBLICKEYBLOB, spki.pbData, spki.cbData, 0, nullptr, &size))
        return false;
    std::vector<BYTE> blob(size);
    if (!CryptDecodeObject(X509_ASN_ENCODING, RSA_CSP_PUBLICKEYBLOB, spki.pbData, spki.cbData, 0, blob.data(), &size))
        return false;
    auto pub = reinterpret_cast<const RSAPUBKEY*>(blob.data() + sizeof(BLOBHEADER));
    const BYTE* modulus = blob.data() + sizeof(BLOBHEADER) + sizeof(RSAPUBKEY);
    Bytes n(reinterpret_cast<const char*>(modulus), pub->bitlen / 8);
    std::reverse(n.begin(), n.end());
    Bytes digest(20, '\0');
    gcry_md_hash_buffer(GCRY_MD_SHA1, digest.data(), message.data(), message.size());
    Bytes e;
    for (DWORD rest = pub->pubexp; rest != 0; rest >>= 8) e.insert(e.begin(), static_cast<char>(rest & 0xFF));
    Sexp key, data, sig;
    if (gcry_sexp_build(&key.s, nullptr, "(public-key (rsa (n %b)(e %b)))", (int)n.size(), n.data(), (int)e.size(),
                        e.data()) ||
        gcry_sexp_build(&data.s, nullptr, "(data (flags pkcs1)(hash sha1 %b))", 20, digest.data()) ||
        gcry_sexp_build(&sig.s, nullptr, "(sig-val (rsa (s %b)))", (int)bigEndianSignature.size(),
                        bigEndianSignature.data()))
        return false;
    return gcry_pk_verify(sig.s, data.s, key.s) == 0;
}

TEST_F(TestCsp, RsaCertificateBindsTheExchangeKeyOfWinesProvider)
{
    DWORD keySpec = 0;
    HCRYPTPROV prov = bindInMy("rsa_wang", keySpec);
    ASSERT_NE(prov, 0u);
    EXPECT_EQ(keySpec, static_cast<DWORD>(AT_KEYEXCHANGE));
    HCRYPTKEY key = 0;
    EXPECT_FALSE(CryptGetUserKey(prov, AT_SIGNATURE, &key)) << "the container must hold the exchange key only";
    ASSERT_TRUE(CryptGetUserKey(prov, AT_KEYEXCHANGE, &key));
    CryptDestroyKey(key);

    const Bytes message = "content to sign";
    HCRYPTHASH hash = 0;
    Bytes signature(256, '\0');
    DWORD length = static_cast<DWORD>(signature.size());
    ASSERT_TRUE(CryptCreateHash(prov, CALG_SHA1, 0, 0, &hash));
    ASSERT_TRUE(
        CryptHashData(hash, reinterpret_cast<const BYTE*>(message.data()), static_cast<DWORD>(message.size()), 0));
    ASSERT_TRUE(CryptSignHashW(hash, AT_KEYEXCHANGE, nullptr, 0, reinterpret_cast<BYTE*>(signature.data()), &length))
        << std::hex << GetLastError();
    CryptDestroyHash(hash);
    ASSERT_EQ(length, 256u);
    // Little-endian from CryptoAPI; the imported CRT values must be right for
    // the signature to verify at all.
    Bytes bigEndian(signature.rbegin(), signature.rend());
    EXPECT_TRUE(rsaSha1Verifies(storedCert(), message, bigEndian));
    EXPECT_FALSE(rsaSha1Verifies(storedCert(), message + "!", bigEndian));
}

}  // namespace
