#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "fixtures.h"
#include "tasn1_cert.h"
#include "tcore_errors.h"
#include "tasn1_walk.h"
#include "tcore_mem.h"
#include "trace_capture.h"

namespace {

// The bytes in a heap block of exactly their size: a read past the end is
// seen by the sanitizers.
class Exact {
public:
    explicit Exact(const std::string& bytes) : buf_(bytes.begin(), bytes.end()) {}
    const unsigned char* data() const { return buf_.empty() ? nullptr : buf_.data(); }
    int len() const { return static_cast<int>(buf_.size()); }

private:
    std::vector<unsigned char> buf_;
};

std::string child(const std::string& der, int index, bool whole, int* rc)
{
    Exact in(der);
    tasn1_item out;
    *rc = whole ? tasn1_sequence_decode_getTLV(in.data(), in.len(), index, &out)
                : tasn1_sequence_decode_getValue(in.data(), in.len(), index, &out);
    return *rc == 0 ? hexOf(std::string(reinterpret_cast<const char*>(out.data), out.len)) : "";
}

int toDer(const std::string& text, std::string* der)
{
    Exact in(text);
    unsigned char* out = nullptr;
    int n = tasn1_cert_toDer(reinterpret_cast<const char*>(in.data()), in.len(), &out);
    if (n > 0) *der = std::string(reinterpret_cast<char*>(out), n);
    tcore_free(out);
    return n;
}

int keyAlg(const std::string& cert)
{
    Exact in(cert);
    return tasn1_cert_getKeyAlg(in.data(), in.len());
}

// A certificate skeleton: TBS children version, serial, signature, issuer,
// validity, subject, then the given SubjectPublicKeyInfo.
std::string certWithKey(const std::string& algorithmHex)
{
    std::string spki = "30" + hexOf(std::string(1, static_cast<char>(algorithmHex.size() / 2 + 3))) + algorithmHex +
                       "030100";
    std::string tbs = "A003020102"
                      "020101"
                      "3000"
                      "3000"
                      "3000"
                      "3000" +
                      spki;
    std::string tbsDer = "30" + hexOf(std::string(1, static_cast<char>(tbs.size() / 2))) + tbs;
    return unhex("30" + hexOf(std::string(1, static_cast<char>(tbsDer.size() / 2))) + tbsDer);
}

}  // namespace

TEST(Asn1LengthDecodeTest, FormsAndLimits)
{
    struct Case {
        const char* octets;
        int avail;
        int result;
        int length;
    };
    const Case cases[] = {
        {"05", 1, 1, 5},
        {"7F", 1, 1, 127},
        {"8180", 2, 2, 128},
        {"820100", 3, 3, 256},
        {"83010000", 4, 4, 65536},
        {"80", 1, 1, 0},                             // the indefinite form reads as 0
        {"82 01", 2, TCORE_ERR_BUFSIZE, -1},         // length octets beyond what is there
        {"85 0000000001", 6, TASN1_ERR_LENGTH, -1},  // more than 4 length octets
        {"84 80000000", 5, TASN1_ERR_LENGTH, -1},    // beyond 32-bit signed range
    };
    for (const auto& c : cases) {
        Exact in(unhex(c.octets));
        int length = -1;
        EXPECT_EQ(tasn1_len_decode(c.avail, in.data(), &length), c.result) << c.octets;
        EXPECT_EQ(length, c.length) << c.octets;
    }
    int length = 0;
    const unsigned char one = 1;
    EXPECT_EQ(tasn1_len_decode(0, &one, &length), TCORE_ERR_PARAM);
    EXPECT_EQ(tasn1_len_decode(1, nullptr, &length), TCORE_ERR_PARAM);
    EXPECT_EQ(tasn1_len_decode(1, &one, nullptr), TCORE_ERR_PARAM);
}

TEST(Asn1WalkTest, FindsChildrenWholeOrAsContents)
{
    const std::string seq = unhex("30 06 02 01 05 04 01 07");
    int rc = 0;
    EXPECT_EQ(child(seq, 1, true, &rc), "040107");
    EXPECT_EQ(child(seq, 1, false, &rc), "07");
    EXPECT_EQ(child(seq, 0, true, &rc), "020105");
    // SET and context-specific elements walk the same way.
    EXPECT_EQ(child(unhex("31 03 02 01 09"), 0, false, &rc), "09");
    EXPECT_EQ(child(unhex("A3 05 30 03 02 01 09"), 0, true, &rc), "3003020109");

    Exact in(seq);
    tasn1_item out;
    ASSERT_EQ(tasn1_sequence_decode_getTLV(in.data(), in.len(), 1, &out), 0);
    EXPECT_EQ(out.tag, 0x04);
    EXPECT_EQ(out.isEncoded, 1);
    ASSERT_EQ(tasn1_sequence_decode_getValue(in.data(), in.len(), 1, &out), 0);
    EXPECT_EQ(out.isEncoded, 0);
    EXPECT_EQ(out.tagMode, 0);
}

TEST(Asn1WalkTest, ErrorsEndTheWalkWithoutReadingPastTheBuffer)
{
    struct Case {
        const char* what;
        const char* der;
        int index;
        int rc;
    };
    const Case cases[] = {
        {"not constructed", "04 02 01 02", 0, TASN1_ERR_NOT_CONSTRUCTED},
        {"index beyond the children", "30 06 02 01 05 04 01 07", 5, TASN1_ERR_ITEM},
        {"outer length octet 0x85", "30 85 00 00 00 00 03", 0, TASN1_ERR_LENGTH},
        {"outer length octets cut", "30 82 01", 0, TASN1_ERR_LENGTH},
        {"child runs past the buffer", "30 06 02 01 05 04 09 07", 1, TASN1_ERR_LENGTH},
        {"child before the target runs past", "30 06 02 40 05 04 01 07", 1, TASN1_ERR_LENGTH},
        {"child length octets missing", "30 03 02 01 05 04", 1, TASN1_ERR_LENGTH},
        {"child length octets cut", "30 04 02 01 05 04 83 01", 1, TASN1_ERR_LENGTH},
        {"huge declared child length", "30 08 02 01 05 04 84 7F FF FF FF", 1, TASN1_ERR_LENGTH},
        {"only the identifier", "30", 0, TASN1_ERR_LENGTH},
    };
    for (const auto& c : cases) {
        int rc = 0;
        child(unhex(c.der), c.index, true, &rc);
        EXPECT_EQ(rc, c.rc) << c.what;
    }
    tasn1_item out;
    const unsigned char seq[] = {0x30, 0x00};
    EXPECT_EQ(tasn1_sequence_decode_getTLV(nullptr, 2, 0, &out), TCORE_ERR_PARAM);
    EXPECT_EQ(tasn1_sequence_decode_getTLV(seq, 2, 0, nullptr), TCORE_ERR_PARAM);
    EXPECT_EQ(tasn1_sequence_decode_getTLV(seq, 0, 0, &out), TCORE_ERR_PARAM);
    EXPECT_EQ(tasn1_sequence_decode_getTLV(seq, 2, -1, &out), TCORE_ERR_PARAM);
    EXPECT_EQ(tasn1_sequence_decode_getTLV(seq, 2, 0, &out), TASN1_ERR_ITEM);
}

TEST(Asn1CertTextTest, DerBase64AndPemGiveTheSameBytes)
{
    const std::string der = fixture("certs/rsa_sign.der");
    const std::string pem = fixture("certs/rsa_sign.pem");
    std::string fromDer, fromBase64, fromPem, fromPemText;
    EXPECT_EQ(toDer(der, &fromDer), lengthOf(der));
    EXPECT_EQ(toDer(base64Of(der), &fromBase64), lengthOf(der));
    EXPECT_EQ(toDer(pem, &fromPem), lengthOf(der));
    // PEM with text before the marker and a NUL after it, as a C string.
    EXPECT_EQ(toDer("subject=rsa user\n" + pem + std::string(1, '\0'), &fromPemText), lengthOf(der));
    EXPECT_EQ(fromDer, der);
    EXPECT_EQ(fromBase64, der);
    EXPECT_EQ(fromPem, der);
    EXPECT_EQ(fromPemText, der);
}

TEST(Asn1CertTextTest, BadTextsGiveCodes)
{
    const std::string pem = fixture("certs/rsa_sign.pem");
    const std::string b64 = base64Of(fixture("certs/rsa_sign.der"));
    const std::string begin = "-----BEGIN CERTIFICATE-----\n";
    const std::string end = "-----END CERTIFICATE-----\n";
    struct Case {
        const char* what;
        std::string text;
        int rc;
    };
    const std::vector<Case> cases = {
        {"no markers", "hello world", TASN1_ERR_CERT},
        {"no END marker", begin + b64, TASN1_ERR_CERT},
        {"END before BEGIN", end + begin + b64, TASN1_ERR_CERT},
        {"no base64 between the markers", begin + "abc\n" + end, TASN1_ERR_CERT},
        {"BEGIN marker cut by the length", pem.substr(0, 20), TASN1_ERR_CERT},
        {"base64 with junk", "MIIB*junk*AAAAAA", TCORE_ERR_BASE64_CHAR},
        {"cut base64", b64.substr(0, 5), TCORE_ERR_BUFSIZE},
        {"single M", "M", TCORE_ERR_BUFSIZE},
        {"PEM body with junk", begin + "MII$$$$$\n" + end, TCORE_ERR_BASE64_CHAR},
    };
    for (const auto& c : cases) {
        std::string der;
        EXPECT_EQ(toDer(c.text, &der), c.rc) << c.what;
    }
    unsigned char* out = nullptr;
    EXPECT_EQ(tasn1_cert_toDer(nullptr, 4, &out), TCORE_ERR_PARAM);
    EXPECT_EQ(tasn1_cert_toDer("MIIB", 0, &out), TCORE_ERR_PARAM);
    EXPECT_EQ(out, nullptr);
}

TEST(Asn1CertTextTest, PemSearchStaysWithinTheLength)
{
    // The END marker lies just beyond the given length: it must not be seen.
    const std::string pem = fixture("certs/rsa_sign.pem");
    size_t endAt = pem.find("-----END");
    std::string der;
    EXPECT_EQ(toDer(pem.substr(0, endAt + 10), &der), TASN1_ERR_CERT);
}

TEST(Asn1KeyAlgTest, RecognisesRsaAndSm2ByTheirExactIdentifiers)
{
    EXPECT_EQ(keyAlg(fixture("certs/rsa_sign.der")), TASN1_KID_RSA);
    EXPECT_EQ(keyAlg(fixture("certs/sm2_sign.der")), TASN1_KID_SM2);
    EXPECT_EQ(keyAlg(fixture("certs/rsa_sign.pem")), TASN1_KID_RSA);
    EXPECT_EQ(keyAlg(base64Of(fixture("certs/sm2_sign.der"))), TASN1_KID_SM2);
    EXPECT_EQ(keyAlg(certWithKey("300D06092A864886F70D0101010500")), TASN1_KID_RSA);
    // The SM2 algorithm OID itself, as some issuers write the key: the
    // selection offers such a certificate, so signing must take it too.
    EXPECT_EQ(keyAlg(certWithKey("300A06082A811CCF5501822D")), TASN1_KID_SM2);

    struct Case {
        const char* what;
        std::string cert;
    };
    const std::vector<Case> unknown = {
        {"EC on prime256v1", fixture("certs/ec_p256.der")},
        {"RSA without NULL parameters", certWithKey("300B06092A864886F70D010101")},
        {"SM2 curve OID under another algorithm", certWithKey("301306072A8648CE3D020106082A8648CE3D030107")},
    };
    for (const auto& c : unknown) EXPECT_EQ(keyAlg(c.cert), TASN1_ERR_CERT) << c.what;
}

TEST(Asn1KeyAlgTest, AFailedWalkIsTracedAndReported)
{
    TraceCapture trace;
    // Version 1: no explicit version, so child 6 of the TBSCertificate is absent.
    EXPECT_EQ(keyAlg(fixture("certs/rsa_v1.der")), TASN1_ERR_CERT);
    EXPECT_TRUE(trace.contains("(tgsp/src/tasn1/tasn1_misc ")) << trace.entries().size();
    EXPECT_TRUE(trace.contains("tasn1_sequence_decode_getTLV failed -10004"));

    // A certificate cut short, and one whose length claims far more.
    std::string der = fixture("certs/rsa_sign.der");
    EXPECT_EQ(keyAlg(der.substr(0, der.size() / 2)), TASN1_ERR_CERT);
    std::string huge = der;
    huge[6] = '\x7F';  // the TBSCertificate's length
    EXPECT_EQ(keyAlg(huge), TASN1_ERR_CERT);
    EXPECT_EQ(keyAlg("not a certificate"), TASN1_ERR_CERT);
    EXPECT_EQ(tasn1_cert_getKeyAlg(nullptr, 10), TCORE_ERR_PARAM);
}

TEST(Asn1KeyAlgTest, EveryCutOfACertificateIsRefusedWithoutOverreading)
{
    // Each prefix sits in a heap block of its exact size: the sanitizers see
    // any read past it. The key is found once the TBSCertificate is whole.
    const std::string der = fixture("certs/sm2_sign.der");
    tasn1_item tbs;
    ASSERT_EQ(tasn1_sequence_decode_getTLV(bytesOf(der), lengthOf(der), 0, &tbs), 0);
    const size_t tbsEnd = static_cast<size_t>(tbs.data - bytesOf(der) + tbs.len);
    for (size_t n = 1; n < der.size(); ++n) {
        int expected = n >= tbsEnd ? TASN1_KID_SM2 : TASN1_ERR_CERT;
        ASSERT_EQ(keyAlg(der.substr(0, n)), expected) << n;
    }
}
