#include "tasn1_pkcs7.h"

#include <cstdint>
#include <cstring>

#include "tasn1_cert.h"
#include "tcore_errors.h"
#include "tasn1_walk.h"
#include "tcore_mem.h"
#include "tcore_sources.h"
#include "tcore_trace.h"

namespace {

const unsigned char kVersion1[] = {0x02, 0x01, 0x01};
const unsigned char kOidData[] = {0x06, 0x09, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x01};
const unsigned char kOidSignedData[] = {0x06, 0x09, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x02};

constexpr tasn1_item encoded(const unsigned char* bytes, int len)
{
    return tasn1_item{bytes, len, 1, TASN1_TAG_PLAIN, 0, 0};
}

const tasn1_item kVersionItem = encoded(kVersion1, sizeof kVersion1);
const tasn1_item kDataTypeItem = encoded(kOidData, sizeof kOidData);
const tasn1_item kSignedDataTypeItem = encoded(kOidSignedData, sizeof kOidSignedData);

const tasn1_item* templateOf(int kid)
{
    const tasn1_item* t = tasn1_item_getByKid(kid);
    if (t == nullptr) TCORE_TRACE(TSRC_TASN1_PKCS7, "tasn1_item_getByKid for %d failed %d", kid, TASN1_ERR_TEMPLATE);
    return t;
}

// The collection encoded into a new item; the collection is released.
tasn1_item* finish(tasn1_seq* seq)
{
    tasn1_item* item = tasn1_seq_toItem(seq);
    tasn1_seq_free(seq);
    return item;
}

tasn1_item* signerInfoFrom(const tasn1_item* issuerAndSn, const unsigned char* sig, int sigLen, int digestKid,
                           int sigAlgKid)
{
    const tasn1_item* digest = templateOf(digestKid);
    const tasn1_item* signature = digest != nullptr ? templateOf(sigAlgKid) : nullptr;
    if (signature == nullptr) return nullptr;
    tasn1_item encryptedDigest{sig, sigLen, 0, TASN1_TAG_PLAIN, 0, TASN1_OCTET_STRING};
    tasn1_seq* seq = tasn1_seq_new(0);
    tasn1_seq_add(seq, &kVersionItem);
    tasn1_seq_add(seq, issuerAndSn);
    tasn1_seq_add(seq, digest);
    tasn1_seq_add(seq, signature);
    tasn1_seq_add(seq, &encryptedDigest);
    return finish(seq);
}

tasn1_item* issuerAndSnOrTrace(const unsigned char* cert, int certLen)
{
    tasn1_item* item = tasn1_pkcs7_issuerAndSn_new(cert, certLen);
    if (item == nullptr) TCORE_TRACE(TSRC_TASN1_PKCS7, "tasn1_pkcs7_issuerAndSn_new failed %d", TASN1_ERR_TEMPLATE);
    return item;
}

// [0] IMPLICIT SET OF Certificate holding the one certificate: the SET's
// 0x31 becomes A0. A new item.
tasn1_item* certificatesOf(const unsigned char* der, int derLen)
{
    tasn1_seq* certs = tasn1_seq_new(1);
    tasn1_item certItem = encoded(der, derLen);
    tasn1_seq_add(certs, &certItem);
    tasn1_item* certsItem = finish(certs);
    if (certsItem != nullptr) {
        certsItem->tagMode = TASN1_TAG_IMPLICIT;
        certsItem->ctxTag = 0;
    }
    return certsItem;
}

// The one SignerInfo, re-tagged as the SET that holds it.
void asSignerInfos(tasn1_item* signerInfo)
{
    signerInfo->isEncoded = 0;
    signerInfo->tag = TASN1_SET;
}

// SignedData wrapped in the outer ContentInfo, as a new item.
tasn1_item* contentInfoOf(const tasn1_item* digest, const tasn1_item* content, const unsigned char* der, int derLen,
                          tasn1_item* signerInfo)
{
    tasn1_seq* signedData = tasn1_seq_new(0);
    tasn1_seq_add(signedData, &kVersionItem);
    tasn1_item digestAlgorithms{digest->data, digest->len, 0, TASN1_TAG_PLAIN, 0, TASN1_SET};
    tasn1_seq_add(signedData, &digestAlgorithms);

    tasn1_seq* inner = tasn1_seq_new(0);
    tasn1_seq_add(inner, &kDataTypeItem);
    tasn1_seq_add(inner, content);
    tasn1_item* innerItem = finish(inner);
    tasn1_seq_add(signedData, innerItem);

    tasn1_item* certsItem = certificatesOf(der, derLen);
    tasn1_seq_add(signedData, certsItem);
    asSignerInfos(signerInfo);
    tasn1_seq_add(signedData, signerInfo);

    tasn1_item* signedItem = finish(signedData);
    signedItem->tagMode = TASN1_TAG_EXPLICIT;
    signedItem->ctxTag = 0;

    tasn1_seq* outer = tasn1_seq_new(0);
    tasn1_seq_add(outer, &kSignedDataTypeItem);
    tasn1_seq_add(outer, signedItem);
    tasn1_item* result = finish(outer);

    tasn1_item_free(signedItem);
    tasn1_item_free(certsItem);
    tasn1_item_free(innerItem);
    return result;
}

// What both forms of the encoder sign with: the certificate's DER, the
// digest template and the finished SignerInfo.
struct Signer {
    const unsigned char* der = nullptr;
    int derLen = 0;
    unsigned char* owned = nullptr;  // the DER when the certificate came as text
    const tasn1_item* digest = nullptr;
    tasn1_item* signerInfo = nullptr;
};

void releaseSigner(Signer* signer)
{
    tasn1_item_free(signer->signerInfo);
    tcore_free(signer->owned);
    *signer = Signer{};
}

// 0, or a negative code with nothing held.
int prepareSigner(const unsigned char* cert, int certLen, const unsigned char* sig, int sigLen, int digestKid,
                  Signer* signer)
{
    int derLen = tasn1_cert_asDer(cert, certLen, &signer->der, &signer->owned);
    if (derLen < 0) return derLen;
    signer->derLen = derLen;

    // Issuer and serial number are taken by position; building them first
    // refuses a certificate without the version field for what it is,
    // before its key is looked for at a position it does not have either.
    int result = 0;
    tasn1_item* issuerAndSn = issuerAndSnOrTrace(signer->der, derLen);
    int keyAlg = issuerAndSn != nullptr ? tasn1_cert_getKeyAlg(signer->der, derLen) : 0;
    if (issuerAndSn == nullptr) {
        result = TASN1_ERR_TEMPLATE;
    } else if (keyAlg < 0) {
        result = keyAlg;
    } else {
        bool sm2 = keyAlg == TASN1_KID_SM2;
        int digestId = sm2 ? TASN1_KID_SM3 : digestKid;
        signer->digest = templateOf(digestId);
        if (signer->digest != nullptr)
            signer->signerInfo = signerInfoFrom(issuerAndSn, sig, sigLen, digestId,
                                                sm2 ? TASN1_KID_SM2_SIGN : TASN1_KID_RSA);
        if (signer->digest != nullptr && signer->signerInfo == nullptr)
            TCORE_TRACE(TSRC_TASN1_PKCS7, "tasn1_pkcs7_signerInfo_new failed %d", TASN1_ERR_TEMPLATE);
        result = signer->signerInfo != nullptr ? 0 : TASN1_ERR_TEMPLATE;
    }
    tasn1_item_free(issuerAndSn);
    if (result < 0) releaseSigner(signer);
    return result;
}

// Size of an element around `contentLen` bytes. A length past 32 bits is
// counted with the longest length form; the caller refuses any total that
// large, so it is never written.
int64_t elementSize(int64_t contentLen)
{
    int octets = contentLen > INT32_MAX ? 5 : tasn1_len_encode(nullptr, 0, static_cast<int>(contentLen));
    return 1 + octets + contentLen;
}

unsigned char* putHeader(unsigned char* p, unsigned char identifier, int64_t contentLen)
{
    *p++ = identifier;
    return p + tasn1_len_encode(p, 5, static_cast<int>(contentLen));
}

unsigned char* putBytes(unsigned char* p, const unsigned char* bytes, size_t len)
{
    std::memcpy(p, bytes, len);
    return p + len;
}

}  // namespace

int tasn1_p7sign_encode_attach(const unsigned char* content, int contentLen, const unsigned char* cert, int certLen,
                               const unsigned char* sig, int sigLen, int digestKid, unsigned char** out)
{
    if (content == nullptr || contentLen <= 0) return TCORE_ERR_PARAM;
    return tasn1_p7sign_encode(1, content, contentLen, cert, certLen, sig, sigLen, digestKid, out);
}

int tasn1_p7sign_encode_detach(const unsigned char* cert, int certLen, const unsigned char* sig, int sigLen,
                               int digestKid, unsigned char** out)
{
    return tasn1_p7sign_encode(0, nullptr, 0, cert, certLen, sig, sigLen, digestKid, out);
}

int tasn1_p7sign_encode(int attached, const unsigned char* content, int contentLen, const unsigned char* cert,
                        int certLen, const unsigned char* sig, int sigLen, int digestKid, unsigned char** out)
{
    if (cert == nullptr || certLen <= 0 || sig == nullptr || sigLen <= 0 || out == nullptr) return TCORE_ERR_PARAM;
    if (attached && (content == nullptr || contentLen <= 0)) return TCORE_ERR_PARAM;
    Signer signer;
    int result = prepareSigner(cert, certLen, sig, sigLen, digestKid, &signer);
    if (result < 0) return result;

    // [0] EXPLICIT OCTET STRING; empty in the detached form.
    tasn1_item contentItem{
        attached ? content : nullptr, attached ? contentLen : 0, 0, TASN1_TAG_EXPLICIT, 0, TASN1_OCTET_STRING};
    tasn1_item* contentInfo = contentInfoOf(signer.digest, &contentItem, signer.der, signer.derLen, signer.signerInfo);
    result = TASN1_ERR_TEMPLATE;
    if (contentInfo != nullptr) {
        // The encoding already has its exact size; it is handed over as is.
        *out = const_cast<unsigned char*>(contentInfo->data);
        result = contentInfo->len;
        tcore_free(contentInfo);
    }
    releaseSigner(&signer);
    return result;
}

namespace {

// The lengths of the attached SignedData's elements around a content of
// `contentLen` bytes, from the inside out.
struct Layout {
    tasn1_item* certs = nullptr;  // the certificates' item, a new item
    tasn1_item digestAlgorithms{};
    int certsSize = 0, signersSize = 0, digestsSize = 0;
    int64_t octets = 0, innerBody = 0, signedBody = 0, signedData = 0, outerBody = 0, total = 0;
    int64_t head = 0;  // the bytes before the content
};

// 0, or a negative code with nothing held. After the content come the
// certificates and the SignerInfos, as in the whole encoding; before it,
// the headers of every element that encloses it.
int layoutOf(int contentLen, Signer* signer, Layout* out)
{
    Layout l;
    l.certs = certificatesOf(signer->der, signer->derLen);
    asSignerInfos(signer->signerInfo);
    l.certsSize = tasn1_item_size(l.certs);
    l.signersSize = tasn1_item_size(signer->signerInfo);
    l.digestAlgorithms = {signer->digest->data, signer->digest->len, 0, TASN1_TAG_PLAIN, 0, TASN1_SET};
    l.digestsSize = tasn1_item_size(&l.digestAlgorithms);
    l.octets = elementSize(contentLen);
    l.innerBody = static_cast<int64_t>(sizeof kOidData) + elementSize(l.octets);
    l.signedBody = static_cast<int64_t>(sizeof kVersion1) + l.digestsSize + elementSize(l.innerBody) + l.certsSize +
                   l.signersSize;
    l.signedData = elementSize(l.signedBody);
    l.outerBody = static_cast<int64_t>(sizeof kOidSignedData) + elementSize(l.signedData);
    l.total = elementSize(l.outerBody);
    l.head = l.total - contentLen - l.certsSize - l.signersSize;
    int result = 0;
    if (l.certs == nullptr || l.certsSize < 0 || l.signersSize < 0 || l.digestsSize < 0)
        result = TASN1_ERR_TEMPLATE;
    else if (l.total > INT32_MAX)
        result = TCORE_ERR_PARAM;  // more than a 32-bit length can say
    if (result < 0) {
        tasn1_item_free(l.certs);
        return result;
    }
    *out = l;
    return 0;
}

}  // namespace

int tasn1_p7sign_attachedLength(int contentLen, const unsigned char* cert, int certLen, int sigLen, int digestKid,
                                int* headLen)
{
    if (contentLen <= 0 || cert == nullptr || certLen <= 0 || sigLen <= 0 || headLen == nullptr) return TCORE_ERR_PARAM;
    // Only the signature's length counts: zeros stand in for its bytes.
    auto* zeros = static_cast<unsigned char*>(tcore_zalloc(static_cast<size_t>(sigLen)));
    Signer signer;
    int result = prepareSigner(cert, certLen, zeros, sigLen, digestKid, &signer);
    Layout l;
    if (result == 0) result = layoutOf(contentLen, &signer, &l);
    if (result == 0) {
        *headLen = static_cast<int>(l.head);
        result = static_cast<int>(l.total);
        tasn1_item_free(l.certs);
    }
    releaseSigner(&signer);
    tcore_free(zeros);
    return result;
}

int tasn1_p7sign_encode_attachPieces(const unsigned char* content, int contentLen, const unsigned char* cert,
                                     int certLen, const unsigned char* sig, int sigLen, int digestKid,
                                     tasn1_p7pieces* out)
{
    if (content == nullptr || contentLen <= 0 || cert == nullptr || certLen <= 0 || sig == nullptr || sigLen <= 0 ||
        out == nullptr)
        return TCORE_ERR_PARAM;
    Signer signer;
    int result = prepareSigner(cert, certLen, sig, sigLen, digestKid, &signer);
    if (result < 0) return result;
    Layout l;
    result = layoutOf(contentLen, &signer, &l);
    if (result == 0) {
        int tailLen = l.certsSize + l.signersSize;
        auto* tail = static_cast<unsigned char*>(tcore_zalloc(static_cast<size_t>(tailLen)));
        tasn1_item_encode(l.certs, tail, tailLen);
        tasn1_item_encode(signer.signerInfo, tail + l.certsSize, tailLen - l.certsSize);

        // The headers, written from the outside in.
        int headLen = static_cast<int>(l.head);
        auto* head = static_cast<unsigned char*>(tcore_zalloc(static_cast<size_t>(headLen)));
        unsigned char* p = putHeader(head, TASN1_SEQUENCE, l.outerBody);
        p = putBytes(p, kOidSignedData, sizeof kOidSignedData);
        p = putHeader(p, TASN1_CONTEXT, l.signedData);
        p = putHeader(p, TASN1_SEQUENCE, l.signedBody);
        p = putBytes(p, kVersion1, sizeof kVersion1);
        p += tasn1_item_encode(&l.digestAlgorithms, p, l.digestsSize);
        p = putHeader(p, TASN1_SEQUENCE, l.innerBody);
        p = putBytes(p, kOidData, sizeof kOidData);
        p = putHeader(p, TASN1_CONTEXT, l.octets);
        putHeader(p, TASN1_OCTET_STRING, contentLen);

        *out = tasn1_p7pieces{head, headLen, content, contentLen, tail, tailLen};
        result = static_cast<int>(l.total);
        tasn1_item_free(l.certs);
    }
    releaseSigner(&signer);
    return result;
}

void tasn1_p7pieces_free(tasn1_p7pieces* pieces)
{
    if (pieces == nullptr) return;
    tcore_free(pieces->head);
    tcore_free(pieces->tail);
    *pieces = tasn1_p7pieces{};
}

tasn1_item* tasn1_pkcs7_signerInfo_new(const unsigned char* sig, int sigLen, int digestKid, int sigAlgKid,
                                       const unsigned char* cert, int certLen)
{
    tasn1_item* issuerAndSn = issuerAndSnOrTrace(cert, certLen);
    if (issuerAndSn == nullptr) return nullptr;
    tasn1_item* signerInfo = signerInfoFrom(issuerAndSn, sig, sigLen, digestKid, sigAlgKid);
    tasn1_item_free(issuerAndSn);
    return signerInfo;
}

tasn1_item* tasn1_pkcs7_issuerAndSn_new(const unsigned char* cert, int certLen)
{
    // Version 3 layout: [0] version, serialNumber, signature, issuer. The
    // identifiers are checked because the fields are found by position: a
    // certificate without the version field would otherwise yield its
    // AlgorithmIdentifier as the serial number.
    tasn1_item tbs, version, serial, issuer;
    if (tasn1_sequence_decode_getTLV(cert, certLen, 0, &tbs) != 0) return nullptr;
    if (tasn1_sequence_decode_getTLV(tbs.data, tbs.len, 0, &version) != 0 || version.tag != TASN1_CONTEXT)
        return nullptr;
    if (tasn1_sequence_decode_getTLV(tbs.data, tbs.len, 1, &serial) != 0 || serial.tag != TASN1_INTEGER) return nullptr;
    if (tasn1_sequence_decode_getTLV(tbs.data, tbs.len, 3, &issuer) != 0 || issuer.tag != TASN1_SEQUENCE)
        return nullptr;
    tasn1_seq* seq = tasn1_seq_new(0);
    tasn1_seq_add(seq, &issuer);
    tasn1_seq_add(seq, &serial);
    return finish(seq);
}
