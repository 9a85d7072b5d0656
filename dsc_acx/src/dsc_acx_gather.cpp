#include "dsc_acx_gather.h"

#include <cstring>

#include "dsc_acx_duplicates.h"
#include "tcore_errors.h"
#include "dsc_acx_provider.h"
#include "tcore_mem.h"
#include "tcore_sources.h"
#include "tcore_trace.h"
#include "tcore_wreg.h"
#include "tutil_skf_cus.h"
#include "twcyt_cert.h"
#include "twcyt_certstore.h"

namespace {

void freeCert(void* item)
{
    auto* c = static_cast<dsc_acx_cert*>(item);
    if (c->handle != nullptr) c->source->release(c->handle);
    twcyt_cert_free(c->tokenCert);
    tcore_free(c);
}

dsc_acx_cert* append(tcore_list** list, const dsc_acx_source* source, const char* providerPath, const char* keyAlg,
                     void* handle)
{
    auto* c = static_cast<dsc_acx_cert*>(tcore_zalloc(sizeof(dsc_acx_cert)));
    c->source = source;
    std::strncpy(c->kind, source->kind, sizeof c->kind - 1);
    if (providerPath != nullptr) std::strncpy(c->providerPath, providerPath, sizeof c->providerPath - 1);
    std::strncpy(c->keyAlg, keyAlg, sizeof c->keyAlg - 1);
    c->handle = handle;
    if (*list == nullptr) *list = tcore_list_new(freeCert);
    tcore_list_append(*list, c);
    return c;
}

const char* keyAlgOfContainer(unsigned int containerType)
{
    if (containerType == TUTIL_SKF_CONTAINER_SM2) return "SM2";
    if (containerType == TUTIL_SKF_CONTAINER_RSA) return "RSA";
    return "";
}

// Moves the token certificates of one walk into gathered records.
int appendTokenCerts(tcore_list* found, const char* providerPath, bool keepRsa, tcore_list** list)
{
    int appended = 0;
    for (int i = 0; found != nullptr && i < found->count; ++i) {
        auto* cert = static_cast<tutil_skf_cert*>(found->items[i]);
        if (!keepRsa && cert->containerType == TUTIL_SKF_CONTAINER_RSA) continue;
        dsc_acx_cert* record = append(list, &dsc_acx_sourceToken, providerPath, keyAlgOfContainer(cert->containerType),
                                      tutil_skf_cert_retain(cert));
        record->tokenCert = twcyt_cert_load(cert->certificate, cert->certificateLen);
        ++appended;
    }
    tcore_list_free(found);
    return appended;
}

bool sameCertificate(void* earlier, void* later)
{
    const twcyt_cert* a = dsc_acx_cert_context(static_cast<const dsc_acx_cert*>(earlier));
    const twcyt_cert* b = dsc_acx_cert_context(static_cast<const dsc_acx_cert*>(later));
    return twcyt_cert_isSame(a, b) == 1;
}

unsigned long certificateKey(void* item)
{
    return twcyt_cert_sameKey(dsc_acx_cert_context(static_cast<const dsc_acx_cert*>(item)));
}

int finish(tcore_list** list)
{
    if (*list == nullptr) return DSC_ACX_ERR_NO_CERT;
    return dsc_acx_removeDuplicatesByKey(*list, certificateKey, sameCertificate);
}

// What came of one library's walk, as a code: a load failure keeps its own
// trace and code, a library that did not answer its own code.
int walkFailed(const char* function, const char* providerPath, int rc)
{
    if (rc == TUTIL_SKF_ERR_LOAD || rc == TUTIL_SKF_ERR_FUNCTION) {
        TCORE_TRACE(TSRC_DSC_ACX, "%s tutil_skf_load %s failed %d", function, providerPath, rc);
        return DSC_ACX_ERR_LIB_LOAD;
    }
    if (rc == TUTIL_SKF_ERR_NO_ANSWER) return rc;
    TCORE_TRACE(TSRC_DSC_ACX, "%s walk of %s failed %d", function, providerPath, rc);
    return DSC_ACX_ERR_SOURCE;
}

// Takes one library's certificates into the gathered list; RSA ones only
// when `keepRsa` (a token named by its serial number signs with either).
int takeTokenCerts(const char* path, const tutil_skf_walkResult& result, bool keepRsa, tcore_list** list)
{
    if (result.rc < 0) {
        tcore_list_free(result.found);
        return walkFailed(keepRsa ? "dsc_acx_getSKFSignCertByDevSn" : "dsc_acx_getSKFSignCert", path, result.rc);
    }
    return appendTokenCerts(result.found, path, keepRsa, list);
}

}  // namespace

const twcyt_cert* dsc_acx_cert_context(const dsc_acx_cert* c)
{
    if (c == nullptr || c->handle == nullptr) return nullptr;
    return c->source->context(c);
}

int dsc_acx_getCSPSignCert(tcore_list** list)
{
    if (list == nullptr) return DSC_ACX_ERR_ARG;
    twcyt_certstore_setNames(DSC_ACX_STORE_NAMES);
    tcore_list* found = nullptr;
    int rc = twcyt_certstore_findAll(twcyt_alg_fromName(DSC_ACX_ALG_PREFERENCE), &found);
    if (rc < 0) {
        TCORE_TRACE(TSRC_DSC_ACX, "twcyt_certstore_findAll for %s failed %d", DSC_ACX_STORE_NAMES, rc);
        tcore_list_free(found);
        return DSC_ACX_ERR_STORE_SEARCH;
    }
    if (rc == 0) return DSC_ACX_ERR_SOURCE;
    int appended = 0;
    for (int i = 0; found != nullptr && i < found->count; ++i) {
        auto* cert = static_cast<const twcyt_cert*>(found->items[i]);
        bool sm2 = twcyt_cert_isSm2(cert) == 1;
        bool rsa = twcyt_cert_isRsa(cert) == 1;
        if (!sm2 && rsa) continue;
        append(list, &dsc_acx_sourceStore, nullptr, sm2 ? "SM2" : (rsa ? "RSA" : ""),
               const_cast<twcyt_cert*>(twcyt_cert_dup(cert)));
        ++appended;
    }
    tcore_list_free(found);
    return appended;
}

int dsc_acx_getAllSignCerts(tcore_list** list)
{
    if (list == nullptr) return DSC_ACX_ERR_ARG;
    dsc_acx_walkSkfProviders(
        TUTIL_SKF_WALK_CERTS, nullptr, true,
        [](const char* path, const tutil_skf_walkResult& result, void* l) {
            return takeTokenCerts(path, result, false, static_cast<tcore_list**>(l));
        },
        list);
    int rc = dsc_acx_getCSPSignCert(list);
    if (rc < 0) TCORE_TRACE(TSRC_DSC_ACX, "find CSP certs failed %d, find continue", rc);
    return finish(list);
}

int dsc_acx_getSignCertByDevSn(tcore_list** list, const char* deviceSn)
{
    if (list == nullptr || deviceSn == nullptr || deviceSn[0] == 0) return DSC_ACX_ERR_ARG;
    dsc_acx_walkSkfProviders(
        TUTIL_SKF_WALK_CERTS_BY_SN, deviceSn, false,
        [](const char* path, const tutil_skf_walkResult& result, void* l) {
            return takeTokenCerts(path, result, true, static_cast<tcore_list**>(l));
        },
        list);
    return finish(list);
}
