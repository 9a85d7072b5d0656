#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "fixtures.h"
#include "tcore_errors.h"
#include "tasn1_item.h"
#include "tasn1_pkcs7.h"
#include "tasn1_walk.h"
#include "tcore_mem.h"
#include "trace_capture.h"

namespace {

// An element written by hand, independently of the encoder under test.
std::string tlv(const char* identifierHex, const std::string& body)
{
    std::string out = unhex(identifierHex);
    size_t n = body.size();
    if (n < 128) {
        out.push_back(static_cast<char>(n));
    } else if (n < 256) {
        out += '\x81';
        out.push_back(static_cast<char>(n));
    } else {
        out += '\x82';
        out.push_back(static_cast<char>(n >> 8));
        out.push_back(static_cast<char>(n));
    }
    return out + body;
}

const char kSignedDataOid[] = "06 09 2A 86 48 86 F7 0D 01 07 02";
const char kDataOid[] = "06 09 2A 86 48 86 F7 0D 01 07 01";
const char kSha1[] = "30 09 06 05 2B 0E 03 02 1A 05 00";
const char kSha256[] = "30 0D 06 09 60 86 48 01 65 03 04 02 01 05 00";
const char kSm3[] = "30 0C 06 08 2A 81 1C CF 55 01 83 11 05 00";
const char kRsaEncryption[] = "30 0D 06 09 2A 86 48 86 F7 0D 01 01 01 05 00";
const char kSm2Sign[] = "30 0D 06 09 2A 81 1C CF 55 01 82 2D 01 05 00";

std::string certPart(const std::string& cert, int index)
{
    tasn1_item tbs, part;
    EXPECT_EQ(tasn1_sequence_decode_getTLV(bytesOf(cert), lengthOf(cert), 0, &tbs), 0);
    EXPECT_EQ(tasn1_sequence_decode_getTLV(tbs.data, tbs.len, index, &part), 0);
    return std::string(reinterpret_cast<const char*>(part.data), part.len);
}

// The SignedData as the output layout describes it.
std::string expectedP7(const std::string& cert, const std::string& content, const std::string& sig, const char* digest,
                       const char* sigAlg)
{
    std::string issuerAndSn = tlv("30", certPart(cert, 3) + certPart(cert, 1));
    std::string signerInfo = tlv("30",
                                 unhex("02 01 01") + issuerAndSn + unhex(digest) + unhex(sigAlg) + tlv("04", sig));
    std::string contentInfo = tlv("30", unhex(kDataOid) + tlv("A0", tlv("04", content)));
    std::string signedData = tlv("30", unhex("02 01 01") + tlv("31", unhex(digest)) + contentInfo + tlv("A0", cert) +
                                           tlv("31", signerInfo));
    return tlv("30", unhex(kSignedDataOid) + tlv("A0", signedData));
}

int attach(const std::string& content, const std::string& cert, const std::string& sig, int digestKid, std::string* p7)
{
    unsigned char* out = nullptr;
    int n = tasn1_p7sign_encode_attach(bytesOf(content), lengthOf(content), bytesOf(cert), lengthOf(cert), bytesOf(sig),
                                       lengthOf(sig), digestKid, &out);
    if (n > 0) *p7 = std::string(reinterpret_cast<char*>(out), n);
    tcore_free(out);
    return n;
}

int detach(const std::string& cert, const std::string& sig, int digestKid, std::string* p7)
{
    unsigned char* out = nullptr;
    int n = tasn1_p7sign_encode_detach(bytesOf(cert), lengthOf(cert), bytesOf(sig), lengthOf(sig), digestKid, &out);
    if (n > 0) *p7 = std::string(reinterpret_cast<char*>(out), n);
    tcore_free(out);
    return n;
}

const std::string kSignature(128, '\x5C');
const std::string kContent = "content to be signed";

}  // namespace

TEST(Pkcs7Test, RsaAttachedMatchesTheLayoutByteForByte)
{
    const std::string cert = fixture("certs/rsa_sign.der");
    std::string p7;
    ASSERT_GT(attach(kContent, cert, kSignature, TASN1_KID_SHA1, &p7), 0);
    EXPECT_EQ(hexOf(p7), hexOf(expectedP7(cert, kContent, kSignature, kSha1, kRsaEncryption)));
    // The fixed runs: one SHA-1 entry in digestAlgorithms, rsaEncryption as
    // the signature algorithm, serial number 01 A2 in IssuerAndSerialNumber.
    EXPECT_NE(hexOf(p7).find("020101310B300906052B0E03021A0500"), std::string::npos);
    EXPECT_NE(hexOf(p7).find("300906052B0E03021A0500300D06092A864886F70D0101010500048180"), std::string::npos);
    EXPECT_NE(hexOf(p7).find("020201A2300906052B0E03021A0500"), std::string::npos);
}

TEST(Pkcs7Test, DetachedHoldsAnEmptyOctetString)
{
    const std::string cert = fixture("certs/rsa_sign.der");
    std::string p7;
    ASSERT_GT(detach(cert, kSignature, TASN1_KID_SHA1, &p7), 0);
    EXPECT_EQ(hexOf(p7), hexOf(expectedP7(cert, "", kSignature, kSha1, kRsaEncryption)));
    EXPECT_NE(hexOf(p7).find("300F06092A864886F70D010701A0020400"), std::string::npos);
}

TEST(Pkcs7Test, AlgorithmsFollowTheCertificateKey)
{
    struct Case {
        const char* what;
        const char* cert;
        int digestKid;
        const char* digest;
        const char* sigAlg;
    };
    const Case cases[] = {
        {"RSA with SHA-256 asked", "certs/rsa_sign.der", TASN1_KID_SHA256, kSha256, kRsaEncryption},
        {"SM2 forces SM3 over SHA-1", "certs/sm2_sign.der", TASN1_KID_SHA1, kSm3, kSm2Sign},
        {"SM2 forces SM3 over an unknown id", "certs/sm2_sign.der", 999, kSm3, kSm2Sign},
    };
    const std::string sm2Signature(64, '\x33');
    for (const auto& c : cases) {
        const std::string cert = fixture(c.cert);
        std::string p7;
        ASSERT_GT(attach(kContent, cert, sm2Signature, c.digestKid, &p7), 0) << c.what;
        EXPECT_EQ(hexOf(p7), hexOf(expectedP7(cert, kContent, sm2Signature, c.digest, c.sigAlg))) << c.what;
    }
    std::string sm2;
    ASSERT_GT(attach(kContent, fixture("certs/sm2_sign.der"), sm2Signature, TASN1_KID_SM3, &sm2), 0);
    EXPECT_NE(hexOf(sm2).find("310E300C06082A811CCF550183110500"), std::string::npos);
    EXPECT_NE(hexOf(sm2).find("300D06092A811CCF5501822D010500"), std::string::npos);
}

TEST(Pkcs7Test, PemBase64AndDerCertificatesGiveIdenticalOutput)
{
    const std::string der = fixture("certs/rsa_sign.der");
    std::string fromDer, fromPem, fromBase64;
    ASSERT_GT(attach(kContent, der, kSignature, TASN1_KID_SHA1, &fromDer), 0);
    ASSERT_GT(attach(kContent, fixture("certs/rsa_sign.pem"), kSignature, TASN1_KID_SHA1, &fromPem), 0);
    ASSERT_GT(attach(kContent, base64Of(der), kSignature, TASN1_KID_SHA1, &fromBase64), 0);
    EXPECT_EQ(fromPem, fromDer);
    EXPECT_EQ(fromBase64, fromDer);
}

TEST(Pkcs7Test, LongContentUsesLongLengths)
{
    const std::string content(200, 'c');
    std::string p7;
    ASSERT_GT(attach(content, fixture("certs/rsa_sign.der"), kSignature, TASN1_KID_SHA1, &p7), 0);
    EXPECT_NE(hexOf(p7).find("06092A864886F70D010701A081CB0481C8" + hexOf(content)), std::string::npos);
}

// The pieces form is what large signatures are built from; joined, the
// pieces must be the whole encoding, byte for byte, at every content length
// where one of the enclosing lengths changes its number of octets.
TEST(Pkcs7Test, PiecesJoinToTheWholeEncoding)
{
    std::vector<int> lengths;
    for (int n = 1; n <= 600; ++n) lengths.push_back(n);
    for (int n = 65536 - 1100; n <= 65536 + 4; ++n) lengths.push_back(n);
    for (int n : {(1 << 24) - 4, 1 << 24, (1 << 24) + 1}) lengths.push_back(n);
    struct Signer {
        const char* cert;
        std::string sig;
    };
    const Signer signers[] = {{"certs/rsa_sign.der", kSignature}, {"certs/sm2_sign.der", std::string(71, '\x30')}};
    std::string content(static_cast<size_t>(lengths.back()), 'x');
    for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7);
    for (const auto& s : signers) {
        const std::string cert = fixture(s.cert);
        for (int n : lengths) {
            unsigned char* whole = nullptr;
            int wholeLen = tasn1_p7sign_encode_attach(bytesOf(content), n, bytesOf(cert), lengthOf(cert),
                                                      bytesOf(s.sig), lengthOf(s.sig), TASN1_KID_SHA1, &whole);
            ASSERT_GT(wholeLen, 0) << s.cert << " " << n;
            tasn1_p7pieces pieces{};
            int total = tasn1_p7sign_encode_attachPieces(bytesOf(content), n, bytesOf(cert), lengthOf(cert),
                                                         bytesOf(s.sig), lengthOf(s.sig), TASN1_KID_SHA1, &pieces);
            ASSERT_EQ(total, wholeLen) << s.cert << " " << n;
            ASSERT_EQ(pieces.content, bytesOf(content)) << "the content is used in place";
            ASSERT_EQ(pieces.headLen + pieces.contentLen + pieces.tailLen, total);
            // The lengths alone, from the signature's length alone.
            int headLen = -1;
            ASSERT_EQ(tasn1_p7sign_attachedLength(n, bytesOf(cert), lengthOf(cert), lengthOf(s.sig), TASN1_KID_SHA1,
                                                  &headLen),
                      total)
                << s.cert << " " << n;
            ASSERT_EQ(headLen, pieces.headLen) << s.cert << " " << n;
            ASSERT_EQ(std::memcmp(pieces.head, whole, static_cast<size_t>(pieces.headLen)), 0) << s.cert << " " << n;
            ASSERT_EQ(std::memcmp(whole + pieces.headLen, content.data(), static_cast<size_t>(n)), 0);
            ASSERT_EQ(std::memcmp(pieces.tail, whole + pieces.headLen + n, static_cast<size_t>(pieces.tailLen)), 0)
                << s.cert << " " << n;
            tasn1_p7pieces_free(&pieces);
            EXPECT_EQ(pieces.head, nullptr);
            tcore_free(whole);
        }
    }
}

TEST(Pkcs7Test, PiecesRefuseWhatTheWholeEncodingRefuses)
{
    const std::string rsa = fixture("certs/rsa_sign.der");
    const tasn1_p7pieces untouched{reinterpret_cast<unsigned char*>(1), 1, nullptr, 0, nullptr, 0};
    struct Case {
        std::string content, cert;
        int result;
    };
    const Case cases[] = {
        {"", rsa, TCORE_ERR_PARAM},
        {kContent, "", TCORE_ERR_PARAM},
        {kContent, rsa.substr(0, 20), -1},  // any failure code of the certificate
    };
    for (const auto& c : cases) {
        tasn1_p7pieces pieces = untouched;
        unsigned char* whole = nullptr;
        int expected = c.result == -1
                           ? tasn1_p7sign_encode_attach(bytesOf(c.content), lengthOf(c.content), bytesOf(c.cert),
                                                        lengthOf(c.cert), bytesOf(kSignature), lengthOf(kSignature),
                                                        TASN1_KID_SHA1, &whole)
                           : c.result;
        ASSERT_LT(expected, 0);
        EXPECT_EQ(tasn1_p7sign_encode_attachPieces(bytesOf(c.content), lengthOf(c.content), bytesOf(c.cert),
                                                   lengthOf(c.cert), bytesOf(kSignature), lengthOf(kSignature),
                                                   TASN1_KID_SHA1, &pieces),
                  expected);
        EXPECT_EQ(pieces.head, untouched.head);
    }
    EXPECT_EQ(tasn1_p7sign_encode_attachPieces(bytesOf(kContent), lengthOf(kContent), bytesOf(rsa), lengthOf(rsa),
                                               bytesOf(kSignature), lengthOf(kSignature), TASN1_KID_SHA1, nullptr),
              TCORE_ERR_PARAM);
    int headLen = -7;
    for (const auto& c : cases)
        EXPECT_LT(tasn1_p7sign_attachedLength(lengthOf(c.content), bytesOf(c.cert), lengthOf(c.cert),
                                              lengthOf(kSignature), TASN1_KID_SHA1, &headLen),
                  0);
    EXPECT_EQ(tasn1_p7sign_attachedLength(10, bytesOf(rsa), lengthOf(rsa), 0, TASN1_KID_SHA1, &headLen),
              TCORE_ERR_PARAM);
    EXPECT_EQ(headLen, -7);
}

TEST(Pkcs7Test, FailuresLeaveTheOutputAloneAndAreTraced)
{
    const std::string rsa = fixture("certs/rsa_sign.der");
    struct Case {
        const char* what;
        std::string cert;
        int digestKid;
        int rc;
        const char* trace;
    };
    const std::vector<Case> cases = {
        {"no version field", fixture("certs/rsa_v1.der"), TASN1_KID_SHA1, TASN1_ERR_TEMPLATE,
         "(tgsp/src/tasn1/tasn1_pkcs7 "},
        {"EC on another curve", fixture("certs/ec_p256.der"), TASN1_KID_SHA1, TASN1_ERR_CERT, nullptr},
        {"unknown digest for RSA", rsa, 999, TASN1_ERR_TEMPLATE, "tasn1_item_getByKid for 999 failed -210021"},
        {"certificate text without markers", "hello", TASN1_KID_SHA1, TASN1_ERR_CERT, nullptr},
        {"truncated certificate", rsa.substr(0, 100), TASN1_KID_SHA1, TASN1_ERR_TEMPLATE, nullptr},
    };
    for (const auto& c : cases) {
        TraceCapture trace;
        unsigned char sentinel = 0;
        unsigned char* out = &sentinel;
        EXPECT_EQ(tasn1_p7sign_encode_attach(bytesOf(kContent), lengthOf(kContent), bytesOf(c.cert), lengthOf(c.cert),
                                             bytesOf(kSignature), lengthOf(kSignature), c.digestKid, &out),
                  c.rc)
            << c.what;
        EXPECT_EQ(out, &sentinel) << c.what;
        if (c.trace != nullptr) {
            EXPECT_TRUE(trace.contains(c.trace)) << c.what;
        }
    }
    TraceCapture trace;
    std::string p7;
    detach(fixture("certs/rsa_v1.der"), kSignature, TASN1_KID_SHA1, &p7);
    EXPECT_TRUE(trace.contains("tasn1_pkcs7_issuerAndSn_new failed -210021"));
}

TEST(Pkcs7Test, MissingArgumentsAreRefused)
{
    const std::string cert = fixture("certs/rsa_sign.der");
    const auto* c = bytesOf(cert);
    const int cl = lengthOf(cert);
    const auto* s = bytesOf(kSignature);
    const auto* d = bytesOf(kContent);
    unsigned char* out = nullptr;
    EXPECT_EQ(tasn1_p7sign_encode_attach(nullptr, 5, c, cl, s, 128, TASN1_KID_SHA1, &out), TCORE_ERR_PARAM);
    EXPECT_EQ(tasn1_p7sign_encode_attach(d, 0, c, cl, s, 128, TASN1_KID_SHA1, &out), TCORE_ERR_PARAM);
    EXPECT_EQ(tasn1_p7sign_encode_attach(d, 5, nullptr, cl, s, 128, TASN1_KID_SHA1, &out), TCORE_ERR_PARAM);
    EXPECT_EQ(tasn1_p7sign_encode_attach(d, 5, c, 0, s, 128, TASN1_KID_SHA1, &out), TCORE_ERR_PARAM);
    EXPECT_EQ(tasn1_p7sign_encode_attach(d, 5, c, cl, nullptr, 128, TASN1_KID_SHA1, &out), TCORE_ERR_PARAM);
    EXPECT_EQ(tasn1_p7sign_encode_attach(d, 5, c, cl, s, -1, TASN1_KID_SHA1, &out), TCORE_ERR_PARAM);
    EXPECT_EQ(tasn1_p7sign_encode_detach(c, cl, s, 0, TASN1_KID_SHA1, &out), TCORE_ERR_PARAM);
    EXPECT_EQ(tasn1_p7sign_encode_detach(c, cl, s, 128, TASN1_KID_SHA1, nullptr), TCORE_ERR_PARAM);
    EXPECT_EQ(out, nullptr);
}

TEST(Pkcs7Test, SignerInfoPartsOnTheirOwn)
{
    const std::string cert = fixture("certs/rsa_sign.der");
    tasn1_item* issuerAndSn = tasn1_pkcs7_issuerAndSn_new(bytesOf(cert), lengthOf(cert));
    ASSERT_NE(issuerAndSn, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(issuerAndSn->data), issuerAndSn->len),
              tlv("30", certPart(cert, 3) + unhex("02 02 01 A2")));
    tasn1_item_free(issuerAndSn);

    const std::string v1 = fixture("certs/rsa_v1.der");
    EXPECT_EQ(tasn1_pkcs7_issuerAndSn_new(bytesOf(v1), lengthOf(v1)), nullptr);

    tasn1_item* signerInfo = tasn1_pkcs7_signerInfo_new(bytesOf(kSignature), lengthOf(kSignature), TASN1_KID_SHA1,
                                                        TASN1_KID_RSA, bytesOf(cert), lengthOf(cert));
    ASSERT_NE(signerInfo, nullptr);
    std::string expected = tlv("30", unhex("02 01 01") + tlv("30", certPart(cert, 3) + certPart(cert, 1)) +
                                         unhex(kSha1) + unhex(kRsaEncryption) + tlv("04", kSignature));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(signerInfo->data), signerInfo->len), expected);
    tasn1_item_free(signerInfo);
    TraceCapture trace;
    EXPECT_EQ(tasn1_pkcs7_signerInfo_new(bytesOf(kSignature), lengthOf(kSignature), TASN1_KID_SHA1, 777, bytesOf(cert),
                                         lengthOf(cert)),
              nullptr);
    EXPECT_TRUE(trace.contains("tasn1_item_getByKid for 777 failed -210021"));
}
