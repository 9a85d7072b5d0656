// Hashes and signatures through the SKF calls, against published vectors.
#include <cstring>

#include "token_fixture.h"

namespace {

const char annex_a_e[] = "F0B43E94BA45ACCAACE692ED534382EB17E6AB5A19CE7B31F4486FDFC0D28640";
const char annex_a_r[] = "F5A03B0648D2C4630EEAC513E1BB81A15944DA3827D5B74143AC7EACEEE720B3";
const char annex_a_s[] = "B1B6AA29DF212FD8763182BC0D421CA1BB9038FD1F7F42D4840B69C485BBC1AA";

ECCPUBLICKEYBLOB annex_a_blob(bool left_aligned = false)
{
    ECCPUBLICKEYBLOB blob{};
    blob.BitLen = 256;
    auto x = from_hex(annex_a_x), y = from_hex(annex_a_y);
    std::size_t at = left_aligned ? 0 : 32;
    std::memcpy(blob.XCoordinate + at, x.data(), 32);
    std::memcpy(blob.YCoordinate + at, y.data(), 32);
    return blob;
}

ECCSIGNATUREBLOB annex_a_signature()
{
    ECCSIGNATUREBLOB sig{};
    auto r = from_hex(annex_a_r), s = from_hex(annex_a_s);
    std::memcpy(sig.r + 32, r.data(), 32);
    std::memcpy(sig.s + 32, s.data(), 32);
    return sig;
}

}  // namespace

class CryptoTest : public TokenTest {
protected:
    std::vector<std::uint8_t> digest(SKF_ULONG alg, const std::string& message, ECCPUBLICKEYBLOB* key = nullptr,
                                     const char* id = nullptr)
    {
        SKF_HANDLE hash = nullptr;
        SKF_ULONG id_len = id ? static_cast<SKF_ULONG>(std::strlen(id)) : 0;
        EXPECT_EQ(
            skf_.SKF_DigestInit(dev_, alg, key, reinterpret_cast<unsigned char*>(const_cast<char*>(id)), id_len, &hash),
            SAR_OK);
        SKF_ULONG size = 0;
        EXPECT_EQ(skf_.SKF_Digest(hash, nullptr, 0, nullptr, &size), SAR_OK);
        std::vector<std::uint8_t> out(size);
        auto* data = reinterpret_cast<SKF_BYTE*>(const_cast<char*>(message.data()));
        EXPECT_EQ(skf_.SKF_Digest(hash, data, static_cast<SKF_ULONG>(message.size()), out.data(), &size), SAR_OK);
        EXPECT_EQ(skf_.SKF_CloseHandle(hash), SAR_OK);
        return out;
    }

    void SetUp() override
    {
        TokenTest::SetUp();
        dev_ = connect();
    }
    DEVHANDLE dev_ = nullptr;
};

TEST_F(CryptoTest, AnnexAExampleThroughTheTokenCalls)
{
    ECCPUBLICKEYBLOB key = annex_a_blob();
    EXPECT_EQ(digest(SGD_SM3, "message digest", &key, "1234567812345678"), from_hex(annex_a_e));
    // Some callers put the coordinates at the start of their fields.
    ECCPUBLICKEYBLOB left = annex_a_blob(true);
    EXPECT_EQ(digest(SGD_SM3, "message digest", &left, "1234567812345678"), from_hex(annex_a_e));

    auto e = from_hex(annex_a_e);
    ECCSIGNATUREBLOB sig = annex_a_signature();
    EXPECT_EQ(skf_.SKF_ECCVerify(dev_, &key, e.data(), 32, &sig), SAR_OK);
    sig.s[63] ^= 1;
    EXPECT_NE(skf_.SKF_ECCVerify(dev_, &key, e.data(), 32, &sig), SAR_OK);
    sig = annex_a_signature();
    e[0] ^= 0x80;
    EXPECT_NE(skf_.SKF_ECCVerify(dev_, &key, e.data(), 32, &sig), SAR_OK);
}

TEST_F(CryptoTest, HashVectorsInOneStepAndInParts)
{
    EXPECT_EQ(digest(SGD_SM3, "abc"), from_hex("66C7F0F462EEEDD9D1F2D46BDC10E4E24167C4875CF2F7A2297DA02B8F4BA8E0"));
    EXPECT_EQ(digest(SGD_SM3, ""), from_hex("1AB21D8355CFA17F8E61194831E81A8F22BEC8C728FEFB747ED035EB5082AA2B"));
    EXPECT_EQ(digest(SGD_SHA1, "abc"), from_hex("A9993E364706816ABA3E25717850C26C9CD0D89D"));
    EXPECT_EQ(digest(SGD_SHA256, "abc"), from_hex("BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD"));

    SKF_HANDLE hash = nullptr;
    ASSERT_EQ(skf_.SKF_DigestInit(dev_, SGD_SM3, nullptr, nullptr, 0, &hash), SAR_OK);
    std::string block = "abcd";
    for (int i = 0; i < 16; ++i)
        ASSERT_EQ(skf_.SKF_DigestUpdate(hash, reinterpret_cast<SKF_BYTE*>(block.data()), 4), SAR_OK);
    SKF_BYTE out[32];
    SKF_ULONG size = 31;
    EXPECT_EQ(skf_.SKF_DigestFinal(hash, out, &size), SAR_BUFFER_TOO_SMALL);
    EXPECT_EQ(size, 32u);
    ASSERT_EQ(skf_.SKF_DigestFinal(hash, out, &size), SAR_OK) << "a short buffer does not spend the hash";
    EXPECT_EQ(std::vector<std::uint8_t>(out, out + 32),
              from_hex("DEBE9FF92275B8A138604889C18E5A4D6FDB70E5387E5765293DCBA39C0C5732"));
    EXPECT_EQ(skf_.SKF_DigestUpdate(hash, out, 1), SAR_HASHOBJERR) << "a finished hash takes no more data";

    SKF_HANDLE bad = nullptr;
    EXPECT_EQ(skf_.SKF_DigestInit(dev_, 0x80, nullptr, nullptr, 0, &bad), SAR_NOTSUPPORTYETERR);
    ECCPUBLICKEYBLOB off_curve = annex_a_blob();
    off_curve.YCoordinate[63] ^= 1;
    unsigned char id[] = "1234567812345678";
    EXPECT_EQ(skf_.SKF_DigestInit(dev_, SGD_SM3, &off_curve, id, 16, &bad), SAR_INVALIDPARAMERR);
    EXPECT_EQ(skf_.SKF_DigestInit(dev_, SGD_SM3, nullptr, id, 16, &bad), SAR_INVALIDPARAMERR);
}

TEST_F(CryptoTest, EccSignatureFromTheTokenVerifies)
{
    HAPPLICATION app = open_application(dev_);
    HCONTAINER con = open_container(app);
    login(app);
    SKF_ULONG size = 0;
    ASSERT_EQ(skf_.SKF_ExportPublicKey(con, TRUE, nullptr, &size), SAR_OK);
    ASSERT_EQ(size, sizeof(ECCPUBLICKEYBLOB));
    ECCPUBLICKEYBLOB key;
    ASSERT_EQ(skf_.SKF_ExportPublicKey(con, TRUE, reinterpret_cast<SKF_BYTE*>(&key), &size), SAR_OK);
    ECCPUBLICKEYBLOB expected = annex_a_blob();
    EXPECT_EQ(std::memcmp(&key, &expected, sizeof key), 0) << "right-aligned coordinates";
    EXPECT_EQ(skf_.SKF_ExportPublicKey(con, FALSE, nullptr, &size), SAR_KEYNOTFOUNTERR);

    auto e = digest(SGD_SM3, "message digest", &key, "1234567812345678");
    ECCSIGNATUREBLOB sig;
    std::memset(&sig, 0xEE, sizeof sig);
    ASSERT_EQ(skf_.SKF_ECCSignData(con, e.data(), 32, &sig), SAR_OK);
    for (int i = 0; i < 32; ++i) ASSERT_EQ(sig.r[i] | sig.s[i], 0) << "r and s right-aligned";
    EXPECT_EQ(skf_.SKF_ECCVerify(dev_, &key, e.data(), 32, &sig), SAR_OK);
    ECCSIGNATUREBLOB again;
    ASSERT_EQ(skf_.SKF_ECCSignData(con, e.data(), 32, &again), SAR_OK);
    EXPECT_NE(std::memcmp(&sig, &again, sizeof sig), 0) << "a fresh k for every signature";
    EXPECT_EQ(skf_.SKF_ECCSignData(con, e.data(), 33, &sig), SAR_INDATALENERR);

    HCONTAINER empty = open_container(app, "empty");
    EXPECT_EQ(skf_.SKF_ECCSignData(empty, e.data(), 32, &sig), SAR_KEYNOTFOUNTERR);
}

TEST_F(CryptoTest, GeneratedKeysReplaceTheOldOnesAndSurviveInTheState)
{
    HAPPLICATION app = open_application(dev_);
    login(app);
    HCONTAINER con = nullptr;
    ASSERT_EQ(skf_.SKF_CreateContainer(app, const_cast<char*>("fresh"), &con), SAR_OK);
    EXPECT_EQ(skf_.SKF_CreateContainer(app, const_cast<char*>("fresh"), &con), SAR_FILE_ALREADY_EXIST);
    SKF_ULONG type = 99;
    ASSERT_EQ(skf_.SKF_GetContainerType(con, &type), SAR_OK);
    EXPECT_EQ(type, static_cast<SKF_ULONG>(SKF_CONTAINER_TYPE_UNDEF));

    ECCPUBLICKEYBLOB blob{};
    EXPECT_EQ(skf_.SKF_GenECCKeyPair(con, SGD_SM3, &blob), SAR_NOTSUPPORTYETERR);
    ASSERT_EQ(skf_.SKF_GenECCKeyPair(con, SGD_SM2_1, &blob), SAR_OK);
    EXPECT_EQ(blob.BitLen, 256u);

    // The certificate of an old key does not outlive it.
    SKF_BYTE cert[] = {0x30, 0x03, 0x02, 0x01, 0x07};
    ASSERT_EQ(skf_.SKF_ImportCertificate(con, TRUE, cert, sizeof cert), SAR_OK);
    SKF_BYTE bad_cert[] = {0x30, 0x09, 0x02, 0x01};
    EXPECT_EQ(skf_.SKF_ImportCertificate(con, TRUE, bad_cert, sizeof bad_cert), SAR_INVALIDPARAMERR);
    ECCPUBLICKEYBLOB second{};
    ASSERT_EQ(skf_.SKF_GenECCKeyPair(con, SGD_SM2_2, &second), SAR_OK);
    EXPECT_NE(std::memcmp(&blob, &second, sizeof blob), 0);
    SKF_ULONG size = 0;
    EXPECT_EQ(skf_.SKF_ExportCertificate(con, TRUE, nullptr, &size), SAR_CERTNOTFOUNTERR);

    // A new load of the module signs with the key it finds in the file.
    skf_.unload();
    ASSERT_TRUE(skf_.load(module_path_)) << skf_.error();
    dev_ = connect();
    app = open_application(dev_);
    login(app);
    con = open_container(app, "fresh");
    auto e = digest(SGD_SM3, "persisted", &second, "1234567812345678");
    ECCSIGNATUREBLOB sig;
    ASSERT_EQ(skf_.SKF_ECCSignData(con, e.data(), 32, &sig), SAR_OK);
    EXPECT_EQ(skf_.SKF_ECCVerify(dev_, &second, e.data(), 32, &sig), SAR_OK);
}

TEST_F(CryptoTest, RsaSignaturesAreModulusLongAndCarryTheDigestInfo)
{
    HAPPLICATION app = open_application(dev_);
    login(app);
    HCONTAINER con = open_container(app, "empty");
    RSAPUBLICKEYBLOB key{};
    EXPECT_EQ(skf_.SKF_GenRSAKeyPair(con, 1000, &key), SAR_RSAMODULUSLENERR);
    ASSERT_EQ(skf_.SKF_GenRSAKeyPair(con, 1024, &key), SAR_OK);
    EXPECT_EQ(key.AlgID, static_cast<SKF_ULONG>(SGD_RSA));
    EXPECT_EQ(key.BitLen, 1024u);
    SKF_ULONG type = 0;
    ASSERT_EQ(skf_.SKF_GetContainerType(con, &type), SAR_OK);
    EXPECT_EQ(type, static_cast<SKF_ULONG>(SKF_CONTAINER_TYPE_RSA));

    auto sha1 = digest(SGD_SHA1, "abc");
    SKF_ULONG size = 0;
    ASSERT_EQ(skf_.SKF_RSASignData(con, sha1.data(), 20, nullptr, &size), SAR_OK);
    EXPECT_EQ(size, 128u);
    std::vector<SKF_BYTE> sig(size - 1);
    size = static_cast<SKF_ULONG>(sig.size());
    EXPECT_EQ(skf_.SKF_RSASignData(con, sha1.data(), 20, sig.data(), &size), SAR_BUFFER_TOO_SMALL);
    sig.resize(size);
    ASSERT_EQ(skf_.SKF_RSASignData(con, sha1.data(), 20, sig.data(), &size), SAR_OK);
    EXPECT_EQ(size, 128u);
    EXPECT_EQ(skf_.SKF_RSAVerify(dev_, &key, sha1.data(), 20, sig.data(), size), SAR_OK);

    // A caller that builds the DigestInfo itself gets the same signature:
    // PKCS#1 v1.5 signing is deterministic.
    std::vector<SKF_BYTE> info = from_hex("3021300906052B0E03021A05000414");
    info.insert(info.end(), sha1.begin(), sha1.end());
    std::vector<SKF_BYTE> sig2(128);
    ASSERT_EQ(skf_.SKF_RSASignData(con, info.data(), static_cast<SKF_ULONG>(info.size()), sig2.data(), &size), SAR_OK);
    EXPECT_EQ(sig, sig2);

    sig[5] ^= 1;
    EXPECT_NE(skf_.SKF_RSAVerify(dev_, &key, sha1.data(), 20, sig.data(), size), SAR_OK);
    std::vector<SKF_BYTE> too_long(128 - 10, 0x11);
    EXPECT_EQ(skf_.SKF_RSASignData(con, too_long.data(), static_cast<SKF_ULONG>(too_long.size()), sig.data(), &size),
              SAR_INDATALENERR);
    ECCSIGNATUREBLOB ecc;
    EXPECT_EQ(skf_.SKF_ECCSignData(con, sha1.data(), 20, &ecc), SAR_KEYUSAGEERR);
}
