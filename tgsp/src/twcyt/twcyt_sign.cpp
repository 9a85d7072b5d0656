#include "twcyt_sign.h"

#include "twcyt_signctx.h"

#include <algorithm>
#include <cstring>

#include "tasn1_item.h"
#include "tcore_codepage.h"
#include "tcore_mem.h"
#include "tcore_sources.h"
#include "tcore_trace.h"
#include "twcyt_cert.h"
#include "tcore_errors.h"

namespace {

// Room for the longest signature a caller can take (RSA keys of 8192 bits).
constexpr DWORD kSignatureArea = TWCYT_SIG_AREA;

// Where the platform finds no key for the certificate, the provider and
// container names the library attached to it lead to one.
int bindThroughNames(twcyt_signctx* ctx, PCCERT_CONTEXT cert)
{
    char provider[TWCYT_PROP_AREA] = {0};
    char container[TWCYT_PROP_AREA] = {0};
    if (twcyt_cert_countProps(cert) < 2 || twcyt_cert_getProp(cert, TWCYT_PROP_CSP_NAME, provider) <= 0 ||
        twcyt_cert_getProp(cert, TWCYT_PROP_CONTAINER, container) <= 0) {
        TCORE_TRACE_SYS(TSRC_TWCYT_SIGN, "CryptAcquireCertificatePrivateKey");
        return TWCYT_ERR_NO_PRIVATE_KEY;
    }
    WCHAR* wideProvider = nullptr;
    WCHAR* wideContainer = nullptr;
    int rc = 0;
    if (tcore_mbToWide(provider, 0, &wideProvider) < 0 || tcore_mbToWide(container, 0, &wideContainer) < 0) {
        rc = TWCYT_ERR_ACQUIRE_CONTEXT;
    } else if (!CryptAcquireContextW(&ctx->hProv, wideContainer, wideProvider, PROV_RSA_FULL, 0)) {
        ctx->hProv = 0;
        TCORE_TRACE_SYS(TSRC_TWCYT_SIGN, "CryptAcquireContext");
        rc = TWCYT_ERR_ACQUIRE_CONTEXT;
    } else {
        ctx->callerFreesProv = TRUE;  // opened here, so released here
        HCRYPTKEY key = 0;
        if (CryptGetUserKey(ctx->hProv, AT_SIGNATURE, &key)) {
            ctx->keySpec = AT_SIGNATURE;
        } else if (CryptGetUserKey(ctx->hProv, AT_KEYEXCHANGE, &key)) {
            ctx->keySpec = AT_KEYEXCHANGE;
        } else {
            TCORE_TRACE_SYS(TSRC_TWCYT_SIGN, "CryptGetUserKey");
            rc = TWCYT_ERR_NO_USER_KEY;
        }
        if (key != 0) CryptDestroyKey(key);
    }
    tcore_free(wideProvider);
    tcore_free(wideContainer);
    return rc;
}

void releaseProvider(twcyt_signctx* ctx)
{
    if (ctx->hProv != 0 && ctx->callerFreesProv) CryptReleaseContext(ctx->hProv, 0);
    ctx->hProv = 0;
    ctx->callerFreesProv = FALSE;
}

}  // namespace

ALG_ID twcyt_calgOf(int digestKid)
{
    switch (digestKid) {
    case 101: return 0x8003;
    case 102: return 0x8004;
    case 103: return 0x800C;
    case 104: return 0x800E;
    case 105: return 0x800D;
    case 108: return 0x8008;
    case 110: return 0x800F;
    default: return 0x8004;
    }
}

twcyt_signctx* twcyt_signctx_new() { return static_cast<twcyt_signctx*>(tcore_zalloc(sizeof(twcyt_signctx))); }

int twcyt_signctx_setCert(twcyt_signctx* ctx, const twcyt_cert* cert)
{
    if (ctx == nullptr || cert == nullptr) return TCORE_ERR_PARAM;
    ctx->keySpec = 0;
    ctx->cert = cert;
    bool bound = CryptAcquireCertificatePrivateKey(cert, CRYPT_ACQUIRE_CACHE_FLAG, nullptr, &ctx->hProv, &ctx->keySpec,
                                                   &ctx->callerFreesProv);
    int rc = 0;
    if (!bound) {
        ctx->hProv = 0;
        ctx->callerFreesProv = FALSE;
        rc = bindThroughNames(ctx, cert);
    }
    if (rc == 0) {
        // The context holds a reference of its own; the caller keeps theirs.
        ctx->cert = twcyt_cert_dup(cert);
        if (twcyt_cert_isSm2(cert) == 1) ctx->digestKid = TASN1_KID_SM3;
        return 0;
    }
    // A failed bind holds nothing.
    releaseProvider(ctx);
    ctx->cert = nullptr;
    ctx->keySpec = 0;
    return rc;
}

void twcyt_signctx_setDigest(twcyt_signctx* ctx, int digestKid)
{
    if (ctx != nullptr) ctx->digestKid = digestKid;
}

void twcyt_signctx_free(twcyt_signctx* ctx)
{
    if (ctx == nullptr) return;
    if (ctx->cert != nullptr) CertFreeCertificateContext(ctx->cert);
    releaseProvider(ctx);
    std::memset(ctx, 0, sizeof *ctx);
    tcore_free(ctx);
}

int twcyt_signctx_sign(twcyt_signctx* ctx, const unsigned char* data, int dataLen, unsigned char* sigOut)
{
    if (ctx == nullptr || data == nullptr || dataLen <= 0) return TCORE_ERR_PARAM;
    if (ctx->cert == nullptr || ctx->hProv == 0) return TWCYT_ERR_NOT_BOUND;
    HCRYPTHASH hash = 0;
    if (!CryptCreateHash(ctx->hProv, twcyt_calgOf(ctx->digestKid), 0, 0, &hash)) {
        TCORE_TRACE_SYS(TSRC_TWCYT_SIGN, "CryptCreateHash");
        return TWCYT_ERR_CREATE_HASH;
    }
    int result = 0;
    unsigned char signature[kSignatureArea] = {0};
    DWORD len = kSignatureArea;
    if (!CryptHashData(hash, data, static_cast<DWORD>(dataLen), 0)) {
        TCORE_TRACE_SYS(TSRC_TWCYT_SIGN, "CryptHashData");
        result = TWCYT_ERR_HASH_DATA;
    } else if (!CryptSignHashW(hash, ctx->keySpec, nullptr, 0, signature, &len)) {
        DWORD error = GetLastError();
        TCORE_TRACE_SYS(TSRC_TWCYT_SIGN, "CryptSignHash");
        switch (error) {
        case 1: result = TWCYT_ERR_PROVIDER_INVALID_FUNCTION; break;
        case 0x80000A01: result = TWCYT_ERR_PROVIDER_80000A01; break;
        case 0x80000A04: result = TWCYT_ERR_PROVIDER_80000A04; break;
        case 0x80000B00: result = TWCYT_ERR_PROVIDER_80000B00; break;
        case 0x056CCB41: result = TWCYT_ERR_PROVIDER_056CCB41; break;
        default: result = TWCYT_ERR_SIGN_HASH; break;
        }
    } else if (sigOut != nullptr && len > TWCYT_SIG_AREA) {
        result = TCORE_ERR_BUFSIZE;
    } else {
        if (sigOut != nullptr) std::memcpy(sigOut, signature, len);
        result = static_cast<int>(len);
    }
    CryptDestroyHash(hash);
    return result;
}

int twcyt_bytes_reverse(unsigned char* buf, int len)
{
    if (buf == nullptr || len <= 0) return TCORE_ERR_PARAM;
    std::reverse(buf, buf + len);
    return 0;
}

int twcyt_sm2sig_reverse(unsigned char* buf, int len)
{
    if (buf != nullptr && len == 64) {
        std::reverse(buf, buf + 32);
        std::reverse(buf + 32, buf + 64);
    }
    return len;
}
