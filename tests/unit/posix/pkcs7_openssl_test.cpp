// The encoder's output read back by OpenSSL: parsed as CMS, and for RSA a
// real signature verified by `openssl cms -verify`, so the layout is checked
// by an implementation other than ours.
#include <gtest/gtest.h>

#include <openssl/evp.h>
#include <openssl/pem.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "fixtures.h"
#include "tasn1_item.h"
#include "tasn1_pkcs7.h"
#include "tcore_mem.h"
#include "temp_dir.h"

namespace {

std::string signSha1(const std::string& keyPem, const std::string& content)
{
    BIO* bio = BIO_new_mem_buf(keyPem.data(), static_cast<int>(keyPem.size()));
    EVP_PKEY* key = PEM_read_bio_PrivateKey(bio, nullptr, nullptr, nullptr);
    BIO_free(bio);
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    std::vector<unsigned char> sig(512);
    size_t sigLen = sig.size();
    bool ok = key != nullptr && EVP_DigestSignInit(ctx, nullptr, EVP_sha1(), nullptr, key) == 1 &&
              EVP_DigestSign(ctx, sig.data(), &sigLen, bytesOf(content), content.size()) == 1;
    EVP_MD_CTX_free(ctx);
    EVP_PKEY_free(key);
    return ok ? std::string(sig.begin(), sig.begin() + static_cast<long>(sigLen)) : std::string();
}

std::string encode(bool attached, const std::string& content, const std::string& cert, const std::string& sig)
{
    unsigned char* out = nullptr;
    int n = attached ? tasn1_p7sign_encode_attach(bytesOf(content), lengthOf(content), bytesOf(cert), lengthOf(cert),
                                                  bytesOf(sig), lengthOf(sig), TASN1_KID_SHA1, &out)
                     : tasn1_p7sign_encode_detach(bytesOf(cert), lengthOf(cert), bytesOf(sig), lengthOf(sig),
                                                  TASN1_KID_SHA1, &out);
    std::string p7 = n > 0 ? std::string(reinterpret_cast<char*>(out), n) : std::string();
    tcore_free(out);
    return p7;
}

int run(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()); }

}  // namespace

TEST(Pkcs7OpenSslTest, RsaSignaturesVerifyAttachedAndDetached)
{
    TempDir dir;
    const std::string content = "data signed by the test, verified by openssl";
    const std::string sig = signSha1(fixture("certs/rsa_sign.key"), content);
    ASSERT_FALSE(sig.empty());
    dir.write("content.bin", content);
    dir.write("attached.p7", encode(true, content, fixture("certs/rsa_sign.der"), sig));
    dir.write("detached.p7", encode(false, content, fixture("certs/rsa_sign.der"), sig));
    const std::string verify = "openssl cms -verify -inform DER -noverify -binary -out /dev/null -in ";
    EXPECT_EQ(run(verify + dir.file("attached.p7")), 0);
    EXPECT_EQ(run(verify + dir.file("detached.p7") + " -content " + dir.file("content.bin")), 0);
    EXPECT_EQ(run("openssl asn1parse -inform DER -in " + dir.file("attached.p7")), 0);

    // The oracle must refuse what is wrong: other content, a spoilt signature.
    dir.write("other.bin", content + ".");
    EXPECT_NE(run(verify + dir.file("detached.p7") + " -content " + dir.file("other.bin")), 0);
    std::string bad = sig;
    bad[10] = static_cast<char>(bad[10] ^ 1);
    dir.write("bad.p7", encode(true, content, fixture("certs/rsa_sign.der"), bad));
    EXPECT_NE(run(verify + dir.file("bad.p7")), 0);
}

TEST(Pkcs7OpenSslTest, Sm2OutputParsesAsCms)
{
    TempDir dir;
    dir.write("sm2.p7", encode(true, "sm2 content", fixture("certs/sm2_sign.der"), std::string(64, '\x21')));
    EXPECT_EQ(run("openssl cms -cmsout -print -inform DER -in " + dir.file("sm2.p7")), 0);
    EXPECT_EQ(run("openssl asn1parse -inform DER -in " + dir.file("sm2.p7")), 0);
    dir.write("cut.p7",
              encode(true, "sm2 content", fixture("certs/sm2_sign.der"), std::string(64, '\x21')).substr(0, 100));
    EXPECT_NE(run("openssl cms -cmsout -print -inform DER -in " + dir.file("cut.p7")), 0);
}
