#include "dsc_acx_sign.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "dsc_acx_certinfo.h"
#include "dsc_acx_log.h"
#include "dsc_acx_selected.h"
#include "dsc_acx_source.h"
#include "tasn1_pkcs7.h"
#include "tcore_base64_middle.h"
#include "tcore_codec.h"
#include "tcore_errors.h"
#include "tcore_mem.h"
#include "tcore_sources.h"
#include "tcore_trace.h"
#include "twcyt_cert.h"
#include "twcyt_sign.h"

namespace {

constexpr int kCodeText = 16;
constexpr int64_t kOutputReserve = 8192;
// From this much attached data on, its text is written on a second thread
// while the signature over it is made: encoding costs about a tenth of the
// hashing, and from here on that is clearly more than starting a thread
// costs, which is a few milliseconds under Wine.
constexpr int kTextAheadFrom = 4 << 20;
// The longest SM2 signature in DER: a SEQUENCE of two INTEGERs of 33 bytes
// (a 256-bit value with a leading zero).
constexpr int kLongestSm2Signature = 72;

int checkValidity(const twcyt_cert* cert)
{
    int rc = twcyt_cert_checkValidity(cert);
    if (rc == 0) return 0;
    TCORE_TRACE(TSRC_DSC_ACX, "twcyt_cert_checkValidity fail %d", rc);
    return rc == TWCYT_ERR_NOT_YET_VALID ? DSC_ACX_ERR_NOT_YET_VALID
           : rc == TWCYT_ERR_EXPIRED     ? DSC_ACX_ERR_EXPIRED
                                         : rc;
}

// Where the base64 text goes: the caller's buffer of `size` bytes, or, when
// `made` is set, a new block of exactly the text and its NUL, taken once the
// SignedData's length is known and handed back through `made` (large
// attached data takes it before signing instead: see startContentText).
struct TextOut {
    char* buffer;
    int size;
    char** made;
};

// Large attached data for a new text: the text is taken for the longest
// signature the certificate can give and the content's part of it is
// started. Nothing is started where the bytes before the content could
// change in number with the signature's length, so that the content's
// place in the text is known before the signature is. Null when nothing
// was started.
tcore_base64_middle* startContentText(const unsigned char* data, int dataLen, const twcyt_cert* cert, int digestKid,
                                      TextOut* text)
{
    if (text->made == nullptr || dataLen < kTextAheadFrom) return nullptr;
    int certLen = 0;
    const unsigned char* certDer = twcyt_cert_der(cert, &certLen);
    const int longest = twcyt_cert_isSm2(cert) == 1 ? kLongestSm2Signature : TWCYT_SIG_AREA;
    int shortestHead = -1, longestHead = -2;
    tasn1_p7sign_attachedLength(dataLen, certDer, certLen, 1, digestKid, &shortestHead);
    const int total = tasn1_p7sign_attachedLength(dataLen, certDer, certLen, longest, digestKid, &longestHead);
    const int64_t textSize = tcore_base64_textLength(total) + 1;
    if (total < 0 || shortestHead != longestHead || textSize > INT32_MAX) return nullptr;
    text->size = static_cast<int>(textSize);
    text->buffer = static_cast<char*>(tcore_allocLarge(static_cast<size_t>(text->size)));
    *text->made = text->buffer;
    return tcore_base64_startMiddle(text->buffer, longestHead, data, dataLen);
}

// Waits for a content text started ahead and gives the text taken for it
// up again.
void dropContentText(tcore_base64_middle** ahead, TextOut* text)
{
    tcore_base64_dropMiddle(*ahead);
    *ahead = nullptr;
    if (text->made == nullptr || *text->made == nullptr) return;
    tcore_free(*text->made);
    *text->made = nullptr;
    *text = TextOut{nullptr, 0, text->made};
}

// The SignedData goes into the text as base64. The attached form is encoded
// around the caller's data, which goes from its own buffer straight into the
// text: a large signature never holds a second copy of the data, only the
// text it is asked for, and touches no page beyond it.
int encodeAndBase64(const unsigned char* data, int dataLen, bool attached, const twcyt_cert* cert,
                    const unsigned char* signature, int sigLen, int digestKid, TextOut text,
                    tcore_base64_middle** ahead)
{
    int certLen = 0;
    const unsigned char* certDer = twcyt_cert_der(cert, &certLen);
    tasn1_p7pieces pieces{};
    unsigned char* der = nullptr;
    int derLen = attached ? tasn1_p7sign_encode_attachPieces(data, dataLen, certDer, certLen, signature, sigLen,
                                                             digestKid, &pieces)
                          : tasn1_p7sign_encode_detach(certDer, certLen, signature, sigLen, digestKid, &der);
    if (derLen < 0) {
        TCORE_TRACE(TSRC_DSC_ACX,
                    attached ? "tasn1_p7sign_encode_attach failed %d (%d)"
                             : "tasn1_p7sign_encode_detach failed %d (%d)",
                    DSC_ACX_ERR_ENCODE, derLen);
        dropContentText(ahead, &text);
        return DSC_ACX_ERR_ENCODE;
    }
    const tcore_bytes head{attached ? pieces.head : der, attached ? pieces.headLen : derLen};
    const tcore_bytes content{pieces.content, pieces.contentLen};
    const tcore_bytes tail{pieces.tail, pieces.tailLen};
    const int64_t textSize = tcore_base64_textLength(derLen) + 1;
    // A text taken ahead serves if the signature fits it; otherwise it is
    // taken again here. Where the signature moved the content, the whole
    // text is written again when finished.
    const bool takenAhead = text.made != nullptr && text.buffer != nullptr;
    if (takenAhead && textSize > text.size) dropContentText(ahead, &text);
    if (text.made != nullptr && text.buffer == nullptr && textSize <= INT32_MAX) {
        // Room for an error code's text too, should the encoding fail.
        text.size = static_cast<int>(textSize > kCodeText ? textSize : kCodeText);
        text.buffer = static_cast<char*>(tcore_allocLarge(static_cast<size_t>(text.size)));
        *text.made = text.buffer;
    }
    int result = 0;
    if (text.made != nullptr && text.buffer == nullptr) {
        result = DSC_ACX_ERR_BASE64;  // more text than a 32-bit length can say
    } else if (text.size < 0) {
        result = DSC_ACX_ERR_CERT_BUFFER;
    } else {
        result = tcore_base64_finishAround(*ahead, text.buffer, head, content, tail, text.size);
        *ahead = nullptr;
        // The host reads the text up to its NUL: a text that fills the
        // buffer to the last byte has none, and is refused like a longer one.
        if (result >= text.size) result = TCORE_ERR_BUFSIZE;
        if (result < 0) {
            TCORE_TRACE(TSRC_DSC_ACX, "tcore_base64_encode failed %d", result);
            result = DSC_ACX_ERR_BASE64;
        } else if (result > 0) {
            dsc_acx_logInfo("dsc_acx_p7sign sign data (%d):\n%.*s", result, result, text.buffer);
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

// The length of the data to sign: as given, or a text measured up to its
// NUL when no length is given.
int64_t measure(const unsigned char* data, int dataLen)
{
    if (dataLen > 0) return dataLen;
    return data != nullptr ? static_cast<int64_t>(std::strlen(reinterpret_cast<const char*>(data))) : 0;
}

// dsc_acx_p7sign with the data measured: the SignedData carries the
// content when `attached`.
int p7sign(const unsigned char* data, int dataLen, bool attached, TextOut text)
{
    dsc_acx_certinfo* record = dsc_acx_selectedCert;
    if (record == nullptr || data == nullptr) return DSC_ACX_ERR_ARG;
    dsc_acx_logInfo("dsc_acx_p7sign start ... with cert %s", record->subjectDn);
    if (dataLen == 0) {
        dsc_acx_logInfo("dsc_acx_p7sign end %d, oridata len is 0", DSC_ACX_ERR_ARG);
        return DSC_ACX_ERR_ARG;
    }
    dsc_acx_logInfo("dsc_acx_p7sign origin data (%d):\n%.*s", dataLen, dataLen, reinterpret_cast<const char*>(data));

    const twcyt_cert* cert = record->cert;
    int result = cert == nullptr ? TCORE_ERR_PARAM : checkValidity(cert);
    if (result == 0) {
        int digestKid = twcyt_cert_isSm2(cert) == 1 ? TASN1_KID_SM3 : TASN1_KID_SHA1;
        auto* signature = static_cast<unsigned char*>(tcore_zalloc(TWCYT_SIG_AREA));
        tcore_base64_middle* ahead = attached ? startContentText(data, dataLen, cert, digestKid, &text) : nullptr;
        int sigLen = record->source->sign(record, data, dataLen, digestKid, signature);
        if (sigLen < 0) dropContentText(&ahead, &text);
        result = sigLen < 0
                     ? sigLen
                     : encodeAndBase64(data, dataLen, attached, cert, signature, sigLen, digestKid, text, &ahead);
        tcore_free(signature);
    }
    // The record gives up its certificate context whatever happened.
    twcyt_cert_free(record->cert);
    record->cert = nullptr;
    dsc_acx_logInfo("dsc_acx_p7sign end %d", result);
    return result;
}

}  // namespace

int dsc_acx_p7sign(const unsigned char* data, int dataLen, int detached, char* out, int outSize)
{
    return p7sign(data, static_cast<int>(measure(data, dataLen)), detached == 0, TextOut{out, outSize, nullptr});
}

int dsc_acx_verifyPin(int* retryOut)
{
    dsc_acx_certinfo* record = dsc_acx_selectedCert;
    if (record == nullptr) return DSC_ACX_ERR_ARG;
    // A slot whose record could not be built has no source and nothing to check.
    return record->source != nullptr ? record->source->checkPin(record, retryOut) : 0;
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
        // The text is allocated at its exact size once the SignedData is
        // encoded. Data whose text could not fit in 32 bits is refused before
        // anything is signed: the base64 of the content (when attached), of
        // the certificate twice (itself, and its issuer name and serial
        // number again in the signer's information), and of the signature
        // and structure around them, with the terminator, bound it. A text
        // passed without its length is measured first.
        const bool attached = mode == DSC_ACX_SIGN_ATTACHED;
        const int64_t contentLen = measure(data, dataLen);
        int certLen = 0;
        twcyt_cert_der(dsc_acx_selectedCert->cert, &certLen);
        int64_t size = kOutputReserve + 2 * tcore_base64_textLength(certLen) +
                       (attached ? tcore_base64_textLength(contentLen) : 0);
        if (size > INT32_MAX) {
            rc = DSC_ACX_ERR_BASE64;
        } else {
            rc = p7sign(data, static_cast<int>(contentLen), attached, TextOut{nullptr, 0, &out});
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
