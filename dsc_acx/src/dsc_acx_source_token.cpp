// The operations of a certificate on a token: the record's handle is a
// tutil_skf_cert reference, its context the certificate gathering decoded
// from the token's bytes, its PIN kept on the token's certificate object.
#include <cstring>

#include "dsc_acx_certinfo.h"
#include "tcore_errors.h"
#include "dsc_acx_gather.h"
#include "dsc_acx_kind.h"
#include "dsc_acx_log.h"
#include "dsc_acx_provider.h"
#include "dsc_acx_source.h"
#include "tcore_sources.h"
#include "tcore_trace.h"
#include "tutil_skf_cus.h"

namespace {

tutil_skf_cert* tokenOf(const dsc_acx_certinfo* record) { return static_cast<tutil_skf_cert*>(record->tokenObject); }

const twcyt_cert* context(const dsc_acx_cert* gathered) { return gathered->tokenCert; }

void* retain(void* handle) { return tutil_skf_cert_retain(static_cast<tutil_skf_cert*>(handle)); }

void keepPin(dsc_acx_certinfo* record, const char* pin)
{
    tutil_skf_cert* token = tokenOf(record);
    if (token == nullptr) return;
    std::memset(token->pin, 0, sizeof token->pin);
    if (pin != nullptr && pin[0] != 0) std::strncpy(token->pin, pin, sizeof token->pin - 1);
}

int checkPin(dsc_acx_certinfo* record, int* retryOut)
{
    int rc = tutil_skf_verifyPin(tokenOf(record), retryOut, dsc_acx_callTimeoutMs());
    if (rc >= 0) return rc;
    TCORE_TRACE(TSRC_DSC_ACX, "tutil_skf_verifyPin fial %d", rc);
    return rc == TUTIL_SKF_ERR_NO_ANSWER ? rc : DSC_ACX_ERR_PIN;
}

int sign(dsc_acx_certinfo* record, const unsigned char* data, int dataLen, int digestKid, unsigned char* signature)
{
    dsc_acx_logInfo("dsc_acx_p7sign use SKF of %s", record->providerPath);
    int len = tutil_skf_sign(tokenOf(record), data, dataLen, digestKid, signature, dsc_acx_callTimeoutMs());
    if (len == TUTIL_SKF_ERR_NO_ANSWER) return len;
    if (len < 0) {
        TCORE_TRACE(TSRC_DSC_ACX, "tutil_skf_sign failed %d (%d)", DSC_ACX_ERR_SIGN, len);
        return DSC_ACX_ERR_SIGN;
    }
    return len;
}

}  // namespace

const dsc_acx_source dsc_acx_sourceToken = {
    DSC_ACX_KIND_SKF, context, retain, tutil_skf_cert_release, keepPin, checkPin, sign,
};
