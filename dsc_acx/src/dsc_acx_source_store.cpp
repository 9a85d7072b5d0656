// The operations of a certificate in the Windows certificate stores: the
// record's handle is the certificate context itself, the key is reached
// through the CryptoAPI provider bound to it, and there is no PIN here to
// keep or check (the provider asks for its own).
#include <cstring>

#include "dsc_acx_certinfo.h"
#include "dsc_acx_gather.h"
#include "dsc_acx_kind.h"
#include "dsc_acx_log.h"
#include "dsc_acx_source.h"
#include "tasn1_pkcs7.h"
#include "tasn1_sm2sig.h"
#include "tcore_errors.h"
#include "tcore_sources.h"
#include "tcore_trace.h"
#include "twcyt_sign.h"

namespace {

const twcyt_cert* context(const dsc_acx_cert* gathered) { return static_cast<const twcyt_cert*>(gathered->handle); }

// A candidate signs through its own certificate context and holds nothing
// else of the gathered one.
void* retain(void*) { return nullptr; }

void release(void* handle) { twcyt_cert_free(static_cast<const twcyt_cert*>(handle)); }

void keepPin(dsc_acx_certinfo*, const char*) {}

int checkPin(dsc_acx_certinfo*, int*) { return 0; }

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

// Signs through the CryptoAPI provider: the signing context binds the
// record's certificate context under a reference of its own. Returns the
// signature length.
int sign(dsc_acx_certinfo* record, const unsigned char* data, int dataLen, int digestKid, unsigned char* signature)
{
    dsc_acx_logInfo("dsc_acx_p7sign use CSP");
    twcyt_signctx* ctx = twcyt_signctx_new();
    int rc = twcyt_signctx_setCert(ctx, record->cert);
    if (rc < 0) {
        TCORE_TRACE(TSRC_DSC_ACX, "twcyt_signctx_setCert fail %d", rc);
        twcyt_signctx_free(ctx);
        return DSC_ACX_ERR_BIND;
    }
    twcyt_signctx_setDigest(ctx, digestKid);
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

}  // namespace

const dsc_acx_source dsc_acx_sourceStore = {
    DSC_ACX_KIND_CSP, context, retain, release, keepPin, checkPin, sign,
};
