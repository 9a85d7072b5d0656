#include <gtest/gtest.h>

#include <windows.h>
#include <wincrypt.h>

#include "gcrypt_init.h"
#include "gcrypt_sm2.h"
#include "sign_support.h"
#include "tasn1_walk.h"
#include "token_vendor.h"

namespace {

// Child `path[0]`, then its child `path[1]`, ... of a DER element.
bool child(const std::string& der, std::initializer_list<int> path, tasn1_item* out)
{
    const auto* p = reinterpret_cast<const unsigned char*>(der.data());
    int len = static_cast<int>(der.size());
    for (int index : path) {
        if (tasn1_sequence_decode_getTLV(p, len, index, out) != 0) return false;
        p = out->data;
        len = out->len;
    }
    return true;
}

std::string contentsOf(const tasn1_item& tlv)
{
    // Skip tag and length octets of the element.
    int lenOctets = 0;
    int len = 0;
    lenOctets = tasn1_len_decode(tlv.len - 1, tlv.data + 1, &len);
    return std::string(reinterpret_cast<const char*>(tlv.data + 1 + lenOctets), static_cast<size_t>(len));
}

// A DER INTEGER's value as exactly 32 big-endian bytes.
std::string fixed32(std::string value)
{
    while (value.size() > 32 && value[0] == '\0') value.erase(0, 1);
    return std::string(32 - std::min<size_t>(32, value.size()), '\0') + value;
}

}  // namespace

// Under Wine the SM2 signer's signature is checked with libgcrypt.
void recordSignedData(const std::string& name, const std::string& base64, const std::string& data,
                      const std::string& keyFixture)
{
    std::string certDer = tokenCertificate(keyFixture);
    PCCERT_CONTEXT cert = CertCreateCertificateContext(X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(certDer.data()),
                                                       static_cast<DWORD>(certDer.size()));
    ASSERT_NE(cert, nullptr) << name;
    const CRYPT_BIT_BLOB& key = cert->pCertInfo->SubjectPublicKeyInfo.PublicKey;
    std::string point(reinterpret_cast<const char*>(key.pbData), key.cbData);
    bool sm2 = std::string(cert->pCertInfo->SubjectPublicKeyInfo.Algorithm.pszObjId) == "1.2.840.10045.2.1";
    CertFreeCertificateContext(cert);
    if (!sm2) return;  // RSA is checked on Linux

    std::string der = unbase64(base64);
    // ContentInfo [0] SignedData, its last child the SignerInfos, the first
    // SignerInfo's fifth child the encryptedDigest.
    tasn1_item signedData{}, signature{};
    ASSERT_TRUE(child(der, {1, 0}, &signedData)) << name;
    int last = 0;
    tasn1_item probe{};
    while (tasn1_sequence_decode_getTLV(signedData.data, signedData.len, last + 1, &probe) == 0) ++last;
    // The signature is read from this copy after the walk: it must outlive it.
    const std::string signedBody(reinterpret_cast<const char*>(signedData.data), signedData.len);
    ASSERT_TRUE(child(signedBody, {last, 0, 4}, &signature)) << name;
    std::string sigDer = contentsOf(signature);
    tasn1_item r{}, s{};
    ASSERT_TRUE(child(sigDer, {0}, &r) && child(sigDer, {1}, &s)) << name;
    gcrypt_init();
    EXPECT_TRUE(sm2Verifies(point, sm2E(point, data), fixed32(contentsOf(r)) + fixed32(contentsOf(s))))
        << name << ": the signature does not verify";
}
