#include <gtest/gtest.h>

#include <windows.h>
#include <wincrypt.h>

#include <cstring>
#include <string>
#include <vector>

#include "cert_forge.h"
#include "crypt_platform.h"
#include "fixtures.h"
#include "trace_capture.h"
#include "twcyt_cert.h"
#include "tcore_errors.h"
#include "twcyt_name.h"

namespace {

// A loaded fixture, released at the end of the scope.
class Cert {
public:
    explicit Cert(const std::string& bytes) : cert_(twcyt_cert_load(bytesOf(bytes), lengthOf(bytes))) {}
    explicit Cert(const char* name) : Cert(fixture(name)) {}
    ~Cert() { twcyt_cert_free(cert_); }
    Cert(const Cert&) = delete;
    Cert& operator=(const Cert&) = delete;
    const twcyt_cert* get() const { return cert_; }

private:
    const twcyt_cert* cert_;
};

std::string serialOf(const twcyt_cert* cert)
{
    unsigned char sn[256];
    int n = twcyt_cert_getSnData(cert, sn, sizeof sn);
    return n < 0 ? "error " + std::to_string(n) : hexOf(std::string(reinterpret_cast<char*>(sn), n));
}

std::string dnOf(const twcyt_cert* cert)
{
    char dn[512];
    int n = twcyt_cert_getDn(cert, dn, sizeof dn);
    return n < 0 ? "error " + std::to_string(n) : std::string(dn);
}

}  // namespace

TEST(CertLoadTest, DerBase64AndPemGiveIdenticalContexts)
{
    const std::string der = fixture("certs/rsa_sign.der");
    Cert fromDer(der), fromBase64(base64Of(der)), fromPem(fixture("certs/rsa_sign.pem"));
    for (const Cert* c : {&fromDer, &fromBase64, &fromPem}) {
        ASSERT_NE(c->get(), nullptr);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(c->get()->pbCertEncoded), c->get()->cbCertEncoded), der);
        EXPECT_EQ(c->get()->dwCertEncodingType, static_cast<DWORD>(X509_ASN_ENCODING));
        EXPECT_EQ(dnOf(c->get()), "C=CN, O=Test Org, OU=Unit, CN=rsa user");
        EXPECT_EQ(serialOf(c->get()), "A201");
    }
}

TEST(CertLoadTest, WhatIsNoCertificateGivesNull)
{
    const std::string der = fixture("certs/rsa_sign.der");
    EXPECT_EQ(twcyt_cert_load(nullptr, 10), nullptr);
    EXPECT_EQ(twcyt_cert_load(bytesOf(der), 0), nullptr);
    EXPECT_EQ(Cert(std::string("hello, no certificate here")).get(), nullptr);
    EXPECT_EQ(Cert(std::string("Mjunk!")).get(), nullptr);
    EXPECT_EQ(Cert(der.substr(0, der.size() / 2)).get(), nullptr);
    TraceCapture trace;
    EXPECT_EQ(Cert(std::string("\x30\x03\x02\x01\x01", 5)).get(), nullptr);
    EXPECT_TRUE(trace.contains("(tgsp/src/twcyt/twcyt_cert ")) << trace.entries().size();
    EXPECT_TRUE(trace.contains("CertCreateCertificateContext"));
}

TEST(CertLoadTest, EveryCutOfACertificateGivesNull)
{
    const std::string der = fixture("certs/rsa_sign.der");
    for (size_t n = 1; n < der.size(); n += 7) {
        std::vector<unsigned char> cut(der.begin(), der.begin() + static_cast<long>(n));
        const twcyt_cert* cert = twcyt_cert_load(cut.data(), static_cast<int>(n));
        EXPECT_EQ(cert, nullptr) << n;
        twcyt_cert_free(cert);
    }
}

TEST(CertSerialTest, BytesAsThePlatformHoldsThemAndTheAreaRule)
{
    // 0x00C0FFEE is written 00 C0 FF EE: the sign byte stays, last.
    EXPECT_EQ(serialOf(Cert("certs/sm2_sign.der").get()), "EEFFC000");
    Cert rsa("certs/rsa_sign.der");
    unsigned char exact[2] = {0, 0};
    EXPECT_EQ(twcyt_cert_getSnData(rsa.get(), exact, 2), 2);
    EXPECT_EQ(exact[0], 0xA2);
    unsigned char small[1] = {0x55};
    EXPECT_EQ(twcyt_cert_getSnData(rsa.get(), small, 1), TCORE_ERR_BUFSIZE);
    EXPECT_EQ(small[0], 0x55);
    EXPECT_EQ(twcyt_cert_getSnData(nullptr, exact, 2), TCORE_ERR_PARAM);
    EXPECT_EQ(twcyt_cert_getSnData(rsa.get(), nullptr, 2), TCORE_ERR_PARAM);
}

TEST(CertValidityTest, TextsAndTheCheckAgainstNow)
{
    struct Case {
        const char* cert;
        const char* notBefore;
        const char* notAfter;
        int check;
    };
    const Case cases[] = {
        {"certs/valid_2020_2049.der", "20200101000000", "20491231235959", 0},
        {"certs/expired_2001.der", "20010101000000", "20020101000000", TWCYT_ERR_EXPIRED},
        {"certs/future_2090.der", "20900101000000", "20991231235959", TWCYT_ERR_NOT_YET_VALID},
    };
    for (const auto& c : cases) {
        Cert cert(c.cert);
        ASSERT_NE(cert.get(), nullptr) << c.cert;
        char notBefore[TWCYT_VALIDITY_AREA], notAfter[TWCYT_VALIDITY_AREA];
        std::memset(notAfter, 'x', sizeof notAfter);
        EXPECT_EQ(twcyt_cert_getValidity(cert.get(), notBefore, notAfter), 0);
        EXPECT_STREQ(notBefore, c.notBefore);
        EXPECT_STREQ(notAfter, c.notAfter);
        EXPECT_EQ(twcyt_cert_checkValidity(cert.get()), c.check) << c.cert;
    }
    char only[TWCYT_VALIDITY_AREA];
    EXPECT_EQ(twcyt_cert_getValidity(Cert("certs/expired_2001.der").get(), nullptr, only), 0);
    EXPECT_STREQ(only, "20020101000000");
    EXPECT_EQ(twcyt_cert_getValidity(nullptr, only, only), TCORE_ERR_PARAM);
}

TEST(CertKeyTest, UsageAndAlgorithm)
{
    struct Case {
        const char* cert;
        int sign, enc, rsa, sm2, alg;
    };
    const Case cases[] = {
        {"certs/rsa_sign.der", 1, 0, 1, 0, TWCYT_ALG_RSA},  // digitalSignature + nonRepudiation
        {"certs/rsa_enc.der", 0, 1, 1, 0, TWCYT_ALG_RSA},   // keyEncipherment + dataEncipherment
        {"certs/rsa_v1.der", 1, 1, 1, 0, TWCYT_ALG_RSA},    // no keyUsage: both
        {"certs/sm2_sign.der", 1, 0, 0, 1, TWCYT_ALG_SM2},
        {"certs/ec_p256.der", 1, 1, 0, 0, TWCYT_ERR_KEY_ALG},  // EC on another curve is not SM2
    };
    for (const auto& c : cases) {
        Cert cert(c.cert);
        ASSERT_NE(cert.get(), nullptr) << c.cert;
        EXPECT_EQ(twcyt_cert_isSignCert(cert.get()), c.sign) << c.cert;
        EXPECT_EQ(twcyt_cert_isEncCert(cert.get()), c.enc) << c.cert;
        EXPECT_EQ(twcyt_cert_isRsa(cert.get()), c.rsa) << c.cert;
        EXPECT_EQ(twcyt_cert_isSm2(cert.get()), c.sm2) << c.cert;
        EXPECT_EQ(twcyt_cert_getKeyAlg(cert.get()), c.alg) << c.cert;
    }
    EXPECT_EQ(twcyt_cert_isSignCert(nullptr), 0);
    EXPECT_EQ(twcyt_cert_isEncCert(nullptr), 0);
    EXPECT_EQ(twcyt_cert_getKeyAlg(nullptr), TWCYT_ERR_KEY_ALG);
}

TEST(CertKeyTest, AlgorithmNames)
{
    struct Case {
        const char* name;
        int alg;
    };
    const Case cases[] = {{"RSA", TWCYT_ALG_RSA}, {"rsa", TWCYT_ALG_RSA},     {"Sm2", TWCYT_ALG_SM2}, {"", 0},
                          {nullptr, 0},           {"ECC", TWCYT_ERR_ALG_NAME}};
    for (const auto& c : cases) EXPECT_EQ(twcyt_alg_fromName(c.name), c.alg) << (c.name ? c.name : "null");
}

TEST(CertBase64Test, TheDerAsBase64)
{
    const std::string der = fixture("certs/sm2_sign.der");
    Cert cert(der);
    std::vector<char> out(4096, 'x');
    int n = twcyt_cert_toBase64(cert.get(), out.data());
    EXPECT_EQ(n, twcyt_cert_toBase64(cert.get(), nullptr));
    EXPECT_EQ(std::string(out.data()), base64Of(der));
    EXPECT_EQ(twcyt_cert_toBase64(nullptr, out.data()), TCORE_ERR_PARAM);
}

TEST(CertPropsTest, DenseTextPropertiesOnTheContext)
{
    Cert cert("certs/rsa_sign.der");
    EXPECT_EQ(twcyt_cert_countProps(cert.get()), 0);
    if (cryptPlatform() == CryptPlatform::Wine) {
        // Wine's crypt32 keeps no user properties (ids from 0x8000 are a stub
        // that fails); Windows and the Linux stand-in keep them.
        TraceCapture trace;
        EXPECT_EQ(twcyt_cert_setProp(cert.get(), TWCYT_PROP_CSP_NAME, "Test CSP"), TWCYT_ERR_SET_PROP);
        EXPECT_TRUE(trace.contains("CertSetCertificateContextProperty"));
        EXPECT_EQ(twcyt_cert_countProps(cert.get()), 0);
        return;
    }
    ASSERT_EQ(twcyt_cert_setProp(cert.get(), TWCYT_PROP_CSP_NAME, "Test CSP"), 0);
    ASSERT_EQ(twcyt_cert_setProp(cert.get(), TWCYT_PROP_CONTAINER, "container-1"), 0);
    ASSERT_EQ(twcyt_cert_setProp(cert.get(), 3, "after a gap"), 0);
    EXPECT_EQ(twcyt_cert_countProps(cert.get()), 2);

    char value[TWCYT_PROP_AREA];
    EXPECT_EQ(twcyt_cert_getProp(cert.get(), TWCYT_PROP_CONTAINER, nullptr), 12);
    EXPECT_EQ(twcyt_cert_getProp(cert.get(), TWCYT_PROP_CONTAINER, value), 12);
    EXPECT_STREQ(value, "container-1");

    TraceCapture trace;
    EXPECT_EQ(twcyt_cert_getProp(cert.get(), 2, value), TWCYT_ERR_GET_PROP);
    EXPECT_TRUE(trace.contains("CertGetCertificateContextProperty"));

    ASSERT_EQ(twcyt_cert_setProp(cert.get(), 4, std::string(256, 'v').c_str()), 0);  // 257 bytes with the NUL
    EXPECT_EQ(twcyt_cert_getProp(cert.get(), 4, value), TCORE_ERR_BUFSIZE);
    EXPECT_EQ(twcyt_cert_getProp(nullptr, 0, value), TCORE_ERR_PARAM);
    EXPECT_EQ(twcyt_cert_countProps(nullptr), 0);
}

TEST(CertDnTest, TextOfTheSubjectAndTheAreaRule)
{
    Cert cert("certs/rsa_sign.der");
    const std::string dn = "C=CN, O=Test Org, OU=Unit, CN=rsa user";
    EXPECT_EQ(twcyt_cert_getDn(cert.get(), nullptr, 0), lengthOf(dn) + 1);
    std::vector<char> exact(dn.size(), 'x');
    EXPECT_EQ(twcyt_cert_getDn(cert.get(), exact.data(), lengthOf(dn)), TCORE_ERR_BUFSIZE);
    std::vector<char> room(dn.size() + 1, 'x');
    EXPECT_EQ(twcyt_cert_getDn(cert.get(), room.data(), lengthOf(dn) + 1), lengthOf(dn) + 1);
    EXPECT_EQ(std::string(room.data()), dn);
    EXPECT_EQ(twcyt_cert_getDn(nullptr, room.data(), 10), TCORE_ERR_PARAM);
    EXPECT_EQ(twcyt_name_toStr(nullptr, X509_ASN_ENCODING, room.data(), 10), TCORE_ERR_PARAM);

    // An empty name has no text.
    BYTE empty[] = {0x30, 0x00};
    CERT_NAME_BLOB blob{2, empty};
    EXPECT_EQ(twcyt_name_toStr(&blob, X509_ASN_ENCODING, room.data(), 10), TWCYT_ERR_EMPTY_NAME);
}

// Long subjects, in ASCII and in three-byte UTF-8, around the lengths where
// the text or its wide form no longer fits a fixed area: each comes whole.
TEST(CertDnTest, LongSubjectsComeWhole)
{
    const std::string der = fixture("certs/rsa_sign.der");
    std::string han;  // U+4E2D, three bytes in UTF-8
    for (int i = 0; i < 600; ++i) han += "\xE4\xB8\xAD";
    const std::vector<std::string> values = {
        std::string(1019, 'a'), std::string(1020, 'a'), std::string(1021, 'a'), std::string(1022, 'a'),
        std::string(2000, 'a'), han.substr(0, 3 * 340), han.substr(0, 3 * 341), han,
    };
    for (const auto& value : values) {
        const std::string expected = "CN=" + value;
        SCOPED_TRACE(expected.size());
        Cert cert(withSubject(der, x500Name({{{"CN", value}}})));
        ASSERT_NE(cert.get(), nullptr);
        EXPECT_EQ(twcyt_cert_getDn(cert.get(), nullptr, 0), lengthOf(expected) + 1);
        std::vector<char> room(expected.size() + 1, 'x');
        EXPECT_EQ(twcyt_cert_getDn(cert.get(), room.data(), lengthOf(expected) + 1), lengthOf(expected) + 1);
        EXPECT_EQ(std::string(room.data()), expected);
    }
}

// The subject replaced, the issuer and serial number kept: the issuer's text
// is not the subject's, and the certificate is the same one by the platform's
// rule (issuer and serial number) although its bytes differ.
TEST(CertIdentityTest, IssuerTextEncodingAndSameCertificate)
{
    const std::string der = fixture("certs/rsa_sign.der");
    const std::string issuer = "C=CN, O=Test Org, OU=Unit, CN=rsa user";
    Cert original(der), renamed(withSubject(der, x500Name({{{"CN", "renamed"}}}))), other("certs/sm2_sign.der");
    ASSERT_NE(renamed.get(), nullptr);
    char text[512];
    EXPECT_EQ(twcyt_cert_getIssuerDn(renamed.get(), text, sizeof text), lengthOf(issuer) + 1);
    EXPECT_EQ(std::string(text), issuer);
    EXPECT_EQ(dnOf(renamed.get()), "CN=renamed");
    EXPECT_EQ(twcyt_cert_getIssuerDn(renamed.get(), text, lengthOf(issuer)), TCORE_ERR_BUFSIZE);
    EXPECT_EQ(twcyt_cert_getIssuerDn(nullptr, text, sizeof text), TCORE_ERR_PARAM);

    int len = -1;
    const unsigned char* bytes = twcyt_cert_der(original.get(), &len);
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes), static_cast<size_t>(len)), der);
    EXPECT_EQ(twcyt_cert_der(nullptr, &len), nullptr);
    EXPECT_EQ(len, 0);

    const twcyt_cert* again = twcyt_cert_dup(original.get());
    ASSERT_NE(again, nullptr);
    struct Pair {
        const twcyt_cert* a;
        const twcyt_cert* b;
        int same;
    };
    const Pair pairs[] = {
        {original.get(), again, 1},      {original.get(), renamed.get(), 1}, {original.get(), other.get(), 0},
        {other.get(), renamed.get(), 0}, {original.get(), nullptr, 0},       {nullptr, original.get(), 0},
    };
    for (const Pair& p : pairs) {
        EXPECT_EQ(twcyt_cert_isSame(p.a, p.b), p.same) << (&p - pairs);
        if (p.same == 1) {
            EXPECT_EQ(twcyt_cert_sameKey(p.a), twcyt_cert_sameKey(p.b)) << (&p - pairs);
        }
    }
    twcyt_cert_free(again);
    EXPECT_EQ(twcyt_cert_dup(nullptr), nullptr);
}

TEST(CertRdnTest, FieldValuesOfTheSubject)
{
    Cert cert("certs/rsa_sign.der");
    char value[TWCYT_FIELD_AREA];
    EXPECT_EQ(twcyt_cert_getRdn("O", cert.get(), value), 8);
    EXPECT_STREQ(value, "Test Org");
    EXPECT_EQ(twcyt_cert_getRdn("CN", cert.get(), nullptr), 8);
    std::memset(value, 'z', sizeof value);
    EXPECT_EQ(twcyt_cert_getRdn("cn", cert.get(), value), 0);  // field names are case-sensitive
    EXPECT_EQ(twcyt_cert_getRdn("E", cert.get(), value), 0);
    EXPECT_EQ(value[0], 'z');  // untouched when absent
    EXPECT_EQ(twcyt_cert_getRdn("", cert.get(), value), TCORE_ERR_PARAM);
    EXPECT_EQ(twcyt_cert_getRdn("CN", nullptr, value), TCORE_ERR_PARAM);

    // A value longer than the 256-byte area; a DN beyond 512 bytes.
    EXPECT_EQ(twcyt_cert_getRdn("CN", Cert("certs/long_cn.der").get(), value), TCORE_ERR_PARAM);
    EXPECT_EQ(twcyt_cert_getRdn("O", Cert("certs/long_cn.der").get(), value), 3);
    EXPECT_EQ(twcyt_cert_getRdn("CN", Cert("certs/long_dn.der").get(), value), TCORE_ERR_BUFSIZE);

    EXPECT_EQ(twcyt_cert_hasRdnValue("CN", cert.get(), "sa us"), 1);
    EXPECT_EQ(twcyt_cert_hasRdnValue("CN", cert.get(), "RSA"), 0);
    EXPECT_EQ(twcyt_cert_hasRdnValue("OU", cert.get(), "Test"), 0);
    EXPECT_EQ(twcyt_cert_hasRdnValue("CN", cert.get(), ""), 0);
    EXPECT_EQ(twcyt_cert_hasRdnValue("CN", nullptr, "rsa"), 0);

    tcore_list* values = nullptr;
    Cert multi("names/multi.der");
    // CN=x + O=z + OU=y, CN="a+b" + OU="c=d", O=e: each attribute of a
    // multi-valued RDN is a field of its own, its value unquoted.
    EXPECT_EQ(twcyt_cert_getRdns(multi.get(), "O", &values), 2);
    ASSERT_NE(values, nullptr);
    EXPECT_STREQ(static_cast<const char*>(values->items[0]), "z");
    EXPECT_STREQ(static_cast<const char*>(values->items[1]), "e");
    tcore_list_free(values);
    values = nullptr;
    EXPECT_EQ(twcyt_cert_getRdns(multi.get(), "OU", &values), 2);
    ASSERT_NE(values, nullptr);
    EXPECT_STREQ(static_cast<const char*>(values->items[1]), "c=d");
    tcore_list_free(values);
}

// Certificates the platform takes for the same (same issuer, serials equal
// as numbers, whatever their sign bytes) have the same key: the duplicate
// check compares only certificates of one key. Serials little-endian, as
// the platform holds them; every pair is asked of the platform's own
// comparison.
TEST(CertIdentityTest, CertificatesTheSameHaveOneKey)
{
    std::vector<std::vector<BYTE>> serials = {
        {},           {0x00},
        {0x00, 0x00}, {0xFF},
        {0xFF, 0xFF}, {0x01},
        {0x01, 0x00}, {0x01, 0x00, 0x00},
        {0x80},       {0x80, 0xFF},
        {0x80, 0x00}, {0x7F},
        {0x7F, 0x00}, {0x7F, 0xFF},
        {0x00, 0x01}, {0x00, 0x80, 0x00},
        {0x34, 0x12}, {0x34, 0x12, 0x00},
    };
    std::vector<BYTE> issuerA = {0x30, 0x00}, issuerB = {0x30, 0x02, 0x31, 0x00};
    struct Fake {
        CERT_INFO info{};
        CERT_CONTEXT context{};
    };
    std::vector<Fake> fakes(serials.size() * 2);
    for (size_t i = 0; i < fakes.size(); ++i) {
        auto& serial = serials[i / 2];
        auto& issuer = i % 2 == 0 ? issuerA : issuerB;
        fakes[i].info.SerialNumber = {static_cast<DWORD>(serial.size()), serial.empty() ? nullptr : serial.data()};
        fakes[i].info.Issuer = {static_cast<DWORD>(issuer.size()), issuer.data()};
        fakes[i].context.dwCertEncodingType = X509_ASN_ENCODING;
        fakes[i].context.pCertInfo = &fakes[i].info;
    }
    int samePairs = 0;
    for (size_t i = 0; i < fakes.size(); ++i)
        for (size_t j = 0; j < fakes.size(); ++j) {
            const twcyt_cert* a = &fakes[i].context;
            const twcyt_cert* b = &fakes[j].context;
            if (twcyt_cert_isSame(a, b) != 1) continue;
            if (i != j) ++samePairs;
            EXPECT_EQ(twcyt_cert_sameKey(a), twcyt_cert_sameKey(b)) << "serials " << i / 2 << " and " << j / 2;
        }
    // The table holds serials equal as numbers in different forms.
    EXPECT_GT(samePairs, 0);
    // Keys spread: other issuers or other lowest bytes give other keys here.
    EXPECT_NE(twcyt_cert_sameKey(&fakes[10].context), twcyt_cert_sameKey(&fakes[11].context));
    EXPECT_NE(twcyt_cert_sameKey(&fakes[10].context), twcyt_cert_sameKey(&fakes[22].context));
    EXPECT_EQ(twcyt_cert_sameKey(nullptr), 0u);
}
