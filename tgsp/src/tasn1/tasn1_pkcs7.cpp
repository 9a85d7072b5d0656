#include "tasn1_pkcs7.h"

#include "tasn1_cert.h"
#include "tasn1_errors.h"
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

    // [0] IMPLICIT SET OF Certificate: the SET's 0x31 becomes A0.
    tasn1_seq* certs = tasn1_seq_new(1);
    tasn1_item certItem = encoded(der, derLen);
    tasn1_seq_add(certs, &certItem);
    tasn1_item* certsItem = finish(certs);
    certsItem->tagMode = TASN1_TAG_IMPLICIT;
    certsItem->ctxTag = 0;
    tasn1_seq_add(signedData, certsItem);

    // A SET holding the one SignerInfo.
    signerInfo->isEncoded = 0;
    signerInfo->tag = TASN1_SET;
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
    const unsigned char* der = nullptr;
    unsigned char* owned = nullptr;
    int derLen = tasn1_cert_asDer(cert, certLen, &der, &owned);
    if (derLen < 0) return derLen;

    // Issuer and serial number are taken by position; building them first
    // refuses a certificate without the version field for what it is,
    // before its key is looked for at a position it does not have either.
    int result = 0;
    tasn1_item* issuerAndSn = issuerAndSnOrTrace(der, derLen);
    tasn1_item* signerInfo = nullptr;
    tasn1_item* contentInfo = nullptr;
    const tasn1_item* digest = nullptr;
    int keyAlg = issuerAndSn != nullptr ? tasn1_cert_getKeyAlg(der, derLen) : 0;
    if (issuerAndSn == nullptr) {
        result = TASN1_ERR_TEMPLATE;
    } else if (keyAlg < 0) {
        result = keyAlg;
    } else {
        bool sm2 = keyAlg == TASN1_KID_SM2;
        int digestId = sm2 ? TASN1_KID_SM3 : digestKid;
        digest = templateOf(digestId);
        if (digest != nullptr)
            signerInfo = signerInfoFrom(issuerAndSn, sig, sigLen, digestId, sm2 ? TASN1_KID_SM2_SIGN : TASN1_KID_RSA);
        if (digest != nullptr && signerInfo == nullptr)
            TCORE_TRACE(TSRC_TASN1_PKCS7, "tasn1_pkcs7_signerInfo_new failed %d", TASN1_ERR_TEMPLATE);
        result = TASN1_ERR_TEMPLATE;
    }
    if (signerInfo != nullptr) {
        // [0] EXPLICIT OCTET STRING; empty in the detached form.
        tasn1_item contentItem{attached ? content : nullptr, attached ? contentLen : 0, 0, TASN1_TAG_EXPLICIT, 0,
                               TASN1_OCTET_STRING};
        contentInfo = contentInfoOf(digest, &contentItem, der, derLen, signerInfo);
    }
    if (contentInfo != nullptr) {
        // The encoding already has its exact size; it is handed over as is.
        *out = const_cast<unsigned char*>(contentInfo->data);
        result = contentInfo->len;
        tcore_free(contentInfo);
    }
    tasn1_item_free(signerInfo);
    tasn1_item_free(issuerAndSn);
    tcore_free(owned);
    return result;
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
    if (tasn1_sequence_decode_getTLV(tbs.data, tbs.len, 1, &serial) != 0 || serial.tag != TASN1_INTEGER)
        return nullptr;
    if (tasn1_sequence_decode_getTLV(tbs.data, tbs.len, 3, &issuer) != 0 || issuer.tag != TASN1_SEQUENCE)
        return nullptr;
    tasn1_seq* seq = tasn1_seq_new(0);
    tasn1_seq_add(seq, &issuer);
    tasn1_seq_add(seq, &serial);
    return finish(seq);
}
