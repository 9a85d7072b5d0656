// Signatures made by the token, written out for an independent verifier:
// verify-signatures.sh checks them with the OpenSSL command line after this
// suite has run (on Linux and for the Windows build alike).
#include <cstring>
#include <filesystem>
#include <fstream>

#include "token_fixture.h"

namespace fs = std::filesystem;

namespace {

using Der = std::vector<std::uint8_t>;

Der der(std::uint8_t tag, const Der& content)
{
    Der out{tag};
    std::size_t n = content.size();
    if (n < 0x80) {
        out.push_back(static_cast<std::uint8_t>(n));
    } else {
        Der length;
        for (; n > 0; n >>= 8) length.insert(length.begin(), static_cast<std::uint8_t>(n));
        out.push_back(static_cast<std::uint8_t>(0x80 | length.size()));
        out.insert(out.end(), length.begin(), length.end());
    }
    out.insert(out.end(), content.begin(), content.end());
    return out;
}

Der der_integer(const std::uint8_t* value, std::size_t size)
{
    while (size > 1 && value[0] == 0) ++value, --size;
    Der content(value, value + size);
    if (content[0] & 0x80) content.insert(content.begin(), 0);
    return der(0x02, content);
}

Der concat(std::initializer_list<Der> parts)
{
    Der out;
    for (const Der& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

Der sm2_public_key_info(const ECCPUBLICKEYBLOB& blob)
{
    Der point{0x04};
    point.insert(point.end(), blob.XCoordinate + 32, blob.XCoordinate + 64);
    point.insert(point.end(), blob.YCoordinate + 32, blob.YCoordinate + 64);
    point.insert(point.begin(), 0x00);  // no unused bits
    Der algorithm = der(0x30, concat({from_hex("06072A8648CE3D0201"), from_hex("06082A811CCF5501822D")}));
    return der(0x30, concat({algorithm, der(0x03, point)}));
}

Der rsa_public_key_info(const RSAPUBLICKEYBLOB& blob)
{
    Der key = der(0x30, concat({der_integer(blob.Modulus, sizeof blob.Modulus),
                                der_integer(blob.PublicExponent, sizeof blob.PublicExponent)}));
    key.insert(key.begin(), 0x00);
    Der algorithm = der(0x30, concat({from_hex("06092A864886F70D010101"), from_hex("0500")}));
    return der(0x30, concat({algorithm, der(0x03, key)}));
}

void write_file(const fs::path& path, const std::vector<std::uint8_t>& data)
{
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

}  // namespace

TEST_F(TokenTest, SignaturesForTheIndependentVerifier)
{
    const fs::path out_dir = fs::absolute("softskf-oracle");
    fs::remove_all(out_dir);
    fs::create_directories(out_dir);
    const std::string message = "softskf signs this for OpenSSL to check\n";
    write_file(out_dir / "message.bin", {message.begin(), message.end()});
    auto* data = reinterpret_cast<SKF_BYTE*>(const_cast<char*>(message.data()));
    const auto length = static_cast<SKF_ULONG>(message.size());

    DEVHANDLE dev = connect();
    HAPPLICATION app = open_application(dev);
    login(app);

    // SM2: e = SM3(Z || M) with the default identity, signed by a new key.
    HCONTAINER sm2 = nullptr;
    ASSERT_EQ(skf_.SKF_CreateContainer(app, const_cast<char*>("oracle-sm2"), &sm2), SAR_OK);
    ECCPUBLICKEYBLOB ecc_key;
    ASSERT_EQ(skf_.SKF_GenECCKeyPair(sm2, SGD_SM2_1, &ecc_key), SAR_OK);
    SKF_HANDLE hash = nullptr;
    unsigned char id[] = "1234567812345678";
    ASSERT_EQ(skf_.SKF_DigestInit(dev, SGD_SM3, &ecc_key, id, 16, &hash), SAR_OK);
    SKF_BYTE e[32];
    SKF_ULONG e_size = sizeof e;
    ASSERT_EQ(skf_.SKF_Digest(hash, data, length, e, &e_size), SAR_OK);
    ECCSIGNATUREBLOB sig;
    ASSERT_EQ(skf_.SKF_ECCSignData(sm2, e, e_size, &sig), SAR_OK);
    write_file(out_dir / "sm2.pub.der", sm2_public_key_info(ecc_key));
    write_file(out_dir / "sm2.sig.der", der(0x30, concat({der_integer(sig.r, 64), der_integer(sig.s, 64)})));

    // RSA: the bare SHA-1 value; the token adds the DigestInfo.
    HCONTAINER rsa = nullptr;
    ASSERT_EQ(skf_.SKF_CreateContainer(app, const_cast<char*>("oracle-rsa"), &rsa), SAR_OK);
    RSAPUBLICKEYBLOB rsa_key;
    ASSERT_EQ(skf_.SKF_GenRSAKeyPair(rsa, 2048, &rsa_key), SAR_OK);
    ASSERT_EQ(skf_.SKF_DigestInit(dev, SGD_SHA1, nullptr, nullptr, 0, &hash), SAR_OK);
    SKF_BYTE sha1[20];
    SKF_ULONG sha1_size = sizeof sha1;
    ASSERT_EQ(skf_.SKF_Digest(hash, data, length, sha1, &sha1_size), SAR_OK);
    std::vector<SKF_BYTE> rsa_sig(256);
    SKF_ULONG sig_size = static_cast<SKF_ULONG>(rsa_sig.size());
    ASSERT_EQ(skf_.SKF_RSASignData(rsa, sha1, sha1_size, rsa_sig.data(), &sig_size), SAR_OK);
    ASSERT_EQ(sig_size, 256u);
    write_file(out_dir / "rsa.pub.der", rsa_public_key_info(rsa_key));
    write_file(out_dir / "rsa.sig", rsa_sig);
}
