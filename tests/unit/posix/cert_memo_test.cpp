// Certificates decoded once per exact bytes: a context made again from the
// same bytes shares the earlier decoding, one made from other bytes never
// does, the decodings kept stay within their bound, and four threads making
// contexts at once each get the certificate they gave.
#include <gtest/gtest.h>

#include <windows.h>
#include <wincrypt.h>

#include <string>
#include <thread>
#include <vector>

#include "fixtures.h"
#include "posix_cert.h"

namespace {

// The certificate with its last two signature bytes set from `n`: a
// certificate all the same, since nothing checks the signature here.
std::string variant(std::string der, unsigned n)
{
    der[der.size() - 1] = static_cast<char>(n & 0xFF);
    der[der.size() - 2] = static_cast<char>((n >> 8) & 0xFF);
    return der;
}

PCCERT_CONTEXT contextOf(const std::string& der)
{
    return CertCreateCertificateContext(X509_ASN_ENCODING, bytesOf(der), static_cast<DWORD>(der.size()));
}

std::string encodedOf(PCCERT_CONTEXT cert)
{
    return std::string(reinterpret_cast<const char*>(cert->pbCertEncoded), cert->cbCertEncoded);
}

}  // namespace

TEST(CertMemoTest, SameBytesShareADecodingAndOtherBytesNever)
{
    const std::string der = fixture("certs/sm2_sign.der");
    const std::string other = variant(der, 0x1234);
    ASSERT_NE(other, der);
    PCCERT_CONTEXT a = contextOf(der);
    PCCERT_CONTEXT b = contextOf(der);
    PCCERT_CONTEXT c = contextOf(other);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    ASSERT_NE(c, nullptr);
    EXPECT_NE(a, b);  // two contexts, each with its own properties
    EXPECT_EQ(a->pCertInfo, b->pCertInfo);
    EXPECT_NE(a->pCertInfo, c->pCertInfo);
    EXPECT_EQ(encodedOf(a), der);
    EXPECT_EQ(encodedOf(c), other);
    // Bytes that decode to nothing are refused each time.
    const std::string cut = der.substr(0, der.size() / 2);
    EXPECT_EQ(contextOf(cut), nullptr);
    EXPECT_EQ(contextOf(cut), nullptr);
    for (PCCERT_CONTEXT cert : {a, b, c}) CertFreeCertificateContext(cert);
}

TEST(CertMemoTest, TheDecodingsKeptStayWithinTheirBound)
{
    const std::string der = fixture("certs/rsa_sign.der");
    PCCERT_CONTEXT first = contextOf(variant(der, 0));
    ASSERT_NE(first, nullptr);
    const unsigned count = static_cast<unsigned>(posix_kDecodedCertsMax) + 100;
    for (unsigned n = 1; n < count; ++n) {
        const std::string bytes = variant(der, n);
        PCCERT_CONTEXT cert = contextOf(bytes);
        ASSERT_NE(cert, nullptr);
        ASSERT_EQ(encodedOf(cert), bytes);
        CertFreeCertificateContext(cert);
        ASSERT_LE(posix_decodedCertsKept(), posix_kDecodedCertsMax);
    }
    // The map let the first decoding go (its bytes decode anew), while the
    // context made from it still holds it whole.
    PCCERT_CONTEXT again = contextOf(variant(der, 0));
    ASSERT_NE(again, nullptr);
    EXPECT_NE(again->pCertInfo, first->pCertInfo);
    EXPECT_EQ(encodedOf(again), variant(der, 0));
    EXPECT_EQ(encodedOf(first), variant(der, 0));
    EXPECT_EQ(first->pCertInfo->SerialNumber.cbData, again->pCertInfo->SerialNumber.cbData);
    CertFreeCertificateContext(again);
    CertFreeCertificateContext(first);
}

TEST(CertMemoTest, FourThreadsEachGetTheCertificateTheyGave)
{
    const std::vector<std::string> bases = {fixture("certs/sm2_sign.der"), fixture("certs/rsa_sign.der")};
    std::vector<int> wrong(4, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            // Each thread its own order over one shared set of 64 variants,
            // so the same bytes are decoded and looked up on several at once.
            for (unsigned i = 0; i < 400; ++i) {
                const unsigned n = (i * (2 * static_cast<unsigned>(t) + 1)) % 64;
                const std::string bytes = variant(bases[n % 2], 0x4000 + n);
                PCCERT_CONTEXT cert = contextOf(bytes);
                if (cert == nullptr || encodedOf(cert) != bytes) ++wrong[static_cast<size_t>(t)];
                CertFreeCertificateContext(cert);
            }
        });
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(wrong, std::vector<int>(4, 0));
}
