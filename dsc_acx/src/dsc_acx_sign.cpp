#include "dsc_acx_sign.h"

#include <windows.h>
#include <wincrypt.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "dsc_acx_certinfo.h"
#include "dsc_acx_errors.h"
#include "dsc_acx_kind.h"
#include "dsc_acx_log.h"
#include "dsc_acx_selected.h"
#include "tasn1_pkcs7.h"
#include "tasn1_sm2sig.h"
#include "tcore_codec.h"
#include "tcore_errors.h"
#include "tcore_mem.h"
#include "tcore_sources.h"
#include "tcore_trace.h"
#include "tutil_skf_cus.h"
#include "twcyt_cert.h"
#include "twcyt_errors.h"
#include "twcyt_sign.h"

namespace {

constexpr int kCodeText = 16;
constexpr int64_t kOutputReserve = 8192;

// A CSP signing failure as the caller sees it.
int mapCspFailure(int code)
{
    switch (code) {
    case TWCYT_ERR_NOT_BOUND: return DSC_ACX_ERR_CSP_NOT_BOUND;
    case TWCYT_ERR_HASH_DATA: return DSC_ACX_ERR_CSP_HASH;
    case TCORE_ERR_BUFSIZE: return DSC_ACX_ERR_CERT_BUFFER;
    case TWCYT_ERR_PROVIDER_INVALID_FUNCTION:
    case TWCYT_ERR_PROVIDER_80000A01:
    case TWCYT_ERR_PROVIDER_80000A04:
    case TWCYT_ERR_PROVIDER_80000B00:
    case TWCYT_ERR_PROVIDER_056CCB41: return code;
    default: return DSC_ACX_ERR_SIGN;
    }
}

// Signs through the CryptoAPI provider; the certificate context goes to the
// signing context once it is bound. Returns the signature length.
int signWithProvider(dsc_acx_certinfo* record, const unsigned char* data, int dataLen, int digestKid,
                     unsigned char* signature)
{
    dsc_acx_logInfo("dsc_acx_p7sign use CSP");
    twcyt_signctx* ctx = twcyt_signctx_new();
    int rc = twcyt_signctx_setCert(ctx, record->cert);
    if (rc < 0) {
        TCORE_TRACE(TSRC_DSC_ACX, "twcyt_signctx_setCert fail %d", rc);
        twcyt_signctx_free(ctx);
        return DSC_ACX_ERR_BIND;
    }
    record->cert = nullptr;  // the signing context releases it
    ctx->digestKid = digestKid;
    int len = twcyt_signctx_sign(ctx, data, dataLen, signature);
    if (len < 0) {
        int mapped = mapCspFailure(len);
        dsc_acx_logError("dsc_acx_p7sign twcyt_signctx_sign failed %d (%d)", len, mapped);
        len = mapped;
    } else if (digestKid == TASN1_KID_SM3) {
        twcyt_sm2sig_reverse(signature, len);
        // r || s as the provider gives it becomes the DER SEQUENCE the token
        // path produces: one form of SM2 signature in every SignedData, the
        // one verifiers read.
        if (len == 2 * TASN1_SM2_VALUE_LEN) {
            unsigned char der[TASN1_SM2_SIG_DER_MAX];
            len = tasn1_sm2sig_toDer(signature, signature + TASN1_SM2_VALUE_LEN, der);
            std::memcpy(signature, der, static_cast<size_t>(len));
        }
    } else {
        twcyt_bytes_reverse(signature, len);
    }
    twcyt_signctx_free(ctx);
    return len;
}

int signOnToken(dsc_acx_certinfo* record, const unsigned char* data, int dataLen, int digestKid,
                unsigned char* signature)
{
    dsc_acx_logInfo("dsc_acx_p7sign use SKF of %s", record->providerPath);
    int len = tutil_skf_sign(static_cast<tutil_skf_cert*>(record->tokenObject), data, dataLen, digestKid, signature);
    if (len < 0) {
        TCORE_TRACE(TSRC_DSC_ACX, "tutil_skf_sign failed %d (%d)", DSC_ACX_ERR_SIGN, len);
        return DSC_ACX_ERR_SIGN;
    }
    return len;
}

int checkValidity(PCCERT_CONTEXT cert)
{
    LONG when = CertVerifyTimeValidity(nullptr, cert->pCertInfo);
    if (when < 0) {
        TCORE_TRACE(TSRC_DSC_ACX, "twcyt_cert_checkValidity fail %d", TWCYT_ERR_NOT_YET_VALID);
        return DSC_ACX_ERR_NOT_YET_VALID;
    }
    if (when > 0) {
        TCORE_TRACE(TSRC_DSC_ACX, "twcyt_cert_checkValidity fail %d", TWCYT_ERR_EXPIRED);
        return DSC_ACX_ERR_EXPIRED;
    }
    return 0;
}

// The SignedData goes into the caller's buffer as base64. The attached form
// is encoded around the caller's data, which goes from its own buffer
// straight into the text: a large signature never holds a second copy of
// the data, only the text it is asked for.
int encodeAndBase64(const unsigned char* data, int dataLen, bool detached, PCCERT_CONTEXT cert,
                    const unsigned char* signature, int sigLen, int digestKid, char* out, int outSize)
{
    const auto* certDer = cert->pbCertEncoded;
    int certLen = static_cast<int>(cert->cbCertEncoded);
    tasn1_p7pieces pieces{};
    unsigned char* der = nullptr;
    int derLen = detached ? tasn1_p7sign_encode_detach(certDer, certLen, signature, sigLen, digestKid, &der)
                          : tasn1_p7sign_encode_attachPieces(data, dataLen, certDer, certLen, signature, sigLen,
                                                             digestKid, &pieces);
    if (derLen < 0) {
        TCORE_TRACE(TSRC_DSC_ACX,
                    detached ? "tasn1_p7sign_encode_detach failed %d (%d)"
                             : "tasn1_p7sign_encode_attach failed %d (%d)",
                    DSC_ACX_ERR_ENCODE, derLen);
        return DSC_ACX_ERR_ENCODE;
    }
    const tcore_bytes parts[] = {{detached ? der : pieces.head, detached ? derLen : pieces.headLen},
                                 {pieces.content, pieces.contentLen},
                                 {pieces.tail, pieces.tailLen}};
    int result = 0;
    if (outSize < 0) {
        result = DSC_ACX_ERR_CERT_BUFFER;
    } else {
        result = tcore_base64_encodePieces(out, parts, 3, outSize);
        // The host reads the text up to its NUL: a text that fills the
        // buffer to the last byte has none, and is refused like a longer one.
        if (result >= outSize) result = TCORE_ERR_BUFSIZE;
        if (result < 0) {
            TCORE_TRACE(TSRC_DSC_ACX, "tcore_base64_encode failed %d", result);
            result = DSC_ACX_ERR_BASE64;
        } else if (result > 0) {
            dsc_acx_logInfo("dsc_acx_p7sign sign data (%d):\n%.*s", result, result, out);
        }
    }
    tasn1_p7pieces_free(&pieces);
    tcore_free(der);
    return result;
}

char* codeText(int code)
{
    auto* text = static_cast<char*>(tcore_zalloc(kCodeText));
    std::snprintf(text, kCodeText, "%d", code);
    return text;
}

}  // namespace

int dsc_acx_p7sign(const unsigned char* data, int dataLen, int detached, char* out, int outSize)
{
    dsc_acx_certinfo* record = dsc_acx_selectedCert;
    if (record == nullptr || data == nullptr) return DSC_ACX_ERR_ARG;
    dsc_acx_logInfo("dsc_acx_p7sign start ... with cert %s", record->subjectDn);
    if (dataLen <= 0) dataLen = static_cast<int>(std::strlen(reinterpret_cast<const char*>(data)));
    if (dataLen == 0) {
        dsc_acx_logInfo("dsc_acx_p7sign end %d, oridata len is 0", DSC_ACX_ERR_ARG);
        return DSC_ACX_ERR_ARG;
    }
    dsc_acx_logInfo("dsc_acx_p7sign origin data (%d):\n%.*s", dataLen, dataLen, reinterpret_cast<const char*>(data));

    int result = 0;
    PCCERT_CONTEXT cert = record->cert;
    if (cert == nullptr) {
        result = TCORE_ERR_PARAM;
    } else {
        result = checkValidity(cert);
    }
    if (result == 0) {
        int digestKid = twcyt_cert_isSm2(cert) == 1 ? TASN1_KID_SM3 : TASN1_KID_SHA1;
        // The signing context may take the certificate; keep a reference to
        // encode it with.
        PCCERT_CONTEXT signer = CertDuplicateCertificateContext(cert);
        auto* signature = static_cast<unsigned char*>(tcore_zalloc(TWCYT_SIG_AREA));
        int sigLen = 0;
        if (dsc_acx_isKind(record->kind, DSC_ACX_KIND_CSP)) {
            sigLen = signWithProvider(record, data, dataLen, digestKid, signature);
        } else if (dsc_acx_isKind(record->kind, DSC_ACX_KIND_SKF)) {
            sigLen = signOnToken(record, data, dataLen, digestKid, signature);
        } else {
            sigLen = DSC_ACX_ERR_SIGN;
        }
        result = sigLen < 0 ? sigLen
                            : encodeAndBase64(data, dataLen, detached != 0, signer, signature, sigLen, digestKid, out,
                                              outSize);
        tcore_free(signature);
        CertFreeCertificateContext(signer);
    }
    // The record gives up its certificate context whatever happened.
    if (record->cert != nullptr) CertFreeCertificateContext(record->cert);
    record->cert = nullptr;
    dsc_acx_logInfo("dsc_acx_p7sign end %d", result);
    return result;
}

int dsc_acx_verifyPin(int* retryOut)
{
    dsc_acx_certinfo* record = dsc_acx_selectedCert;
    if (record == nullptr) return DSC_ACX_ERR_ARG;
    if (std::strcmp(record->kind, DSC_ACX_KIND_SKF) != 0) return 0;
    int rc = tutil_skf_verifyPin(static_cast<tutil_skf_cert*>(record->tokenObject), retryOut);
    if (rc >= 0) return rc;
    TCORE_TRACE(TSRC_DSC_ACX, "tutil_skf_verifyPin fial %d", rc);
    return DSC_ACX_ERR_PIN;
}

char* dsc_acx_sign(const unsigned char* data, int dataLen, int mode, const char* pin)
{
    if (dsc_acx_selectedCert == nullptr) return codeText(DSC_ACX_ERR_NO_CERT);
    dsc_acx_certinfo_setPin(pin);
    int retries = -1;
    int rc = dsc_acx_verifyPin(&retries);
    if (rc < 0) {
        dsc_acx_releaseSelectedCert();
        return codeText(rc);
    }
    char* out = nullptr;
    if (mode == DSC_ACX_SIGN_ATTACHED || mode == DSC_ACX_SIGN_DETACHED) {
        // Room for the base64 of the content (when attached), of the
        // certificate twice (itself, and its issuer name and serial number
        // again in the signer's information), and of the signature and
        // structure around them, with the terminator. A text passed without
        // its length is measured first, so it gets its room too.
        int64_t contentLen = dataLen > 0       ? dataLen
                             : data != nullptr ? static_cast<int64_t>(std::strlen(reinterpret_cast<const char*>(data)))
                                               : 0;
        const PCCERT_CONTEXT cert = dsc_acx_selectedCert->cert;
        int64_t certText = cert != nullptr ? (static_cast<int64_t>(cert->cbCertEncoded) + 2) / 3 * 4 : 0;
        int64_t size = kOutputReserve + 2 * certText + (mode == DSC_ACX_SIGN_ATTACHED ? (contentLen + 2) / 3 * 4 : 0);
        if (size > INT32_MAX) {
            rc = DSC_ACX_ERR_BASE64;
        } else {
            out = static_cast<char*>(tcore_zalloc(static_cast<size_t>(size)));
            rc = dsc_acx_p7sign(data, dataLen, mode == DSC_ACX_SIGN_DETACHED, out, static_cast<int>(size));
        }
    } else {
        rc = retries;  // no signature was asked for: -1
    }
    if (rc < 0) {
        dsc_acx_logError("dsc_acx_sign failed %d (%d)", DSC_ACX_ERR_SIGN, rc);
        if (out != nullptr) {
            std::memset(out, 0, kCodeText);
            std::snprintf(out, kCodeText, "%d", rc);
        } else {
            out = codeText(rc);
        }
    }
    dsc_acx_releaseSelectedCert();
    return out;
}
