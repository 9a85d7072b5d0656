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

int finish(tcore_list** list)
{
    if (*list == nullptr) return DSC_ACX_ERR_NO_CERT;
    return dsc_acx_removeDuplicates(*list, sameCertificate);
}

// A load failure keeps its own trace and code, as before walks were bounded.
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

}  // namespace

const twcyt_cert* dsc_acx_cert_context(const dsc_acx_cert* c)
{
    if (c == nullptr || c->handle == nullptr) return nullptr;
    return c->source->context(c);
}

int dsc_acx_getSKFSignCert(tutil_skf_walker* walker, const char* providerPath, tcore_list** list)
{
    if (providerPath == nullptr || providerPath[0] == 0 || list == nullptr) return DSC_ACX_ERR_ARG;
    tcore_list* found = nullptr;
    int rc = tutil_skf_walkLibrary(walker, providerPath, TUTIL_SKF_WALK_CERTS, nullptr, &found);
    if (rc < 0) {
        tcore_list_free(found);
        return walkFailed("dsc_acx_getSKFSignCert", providerPath, rc);
    }
    return appendTokenCerts(found, providerPath, false, list);
}

int dsc_acx_getSKFSignCertByDevSn(tutil_skf_walker* walker, const char* deviceSn, const char* providerPath,
                                  tcore_list** list)
{
    if (deviceSn == nullptr || deviceSn[0] == 0 || providerPath == nullptr || providerPath[0] == 0 || list == nullptr)
        return DSC_ACX_ERR_ARG;
    tcore_list* found = nullptr;
    int rc = tutil_skf_walkLibrary(walker, providerPath, TUTIL_SKF_WALK_CERTS_BY_SN, deviceSn, &found);
    if (rc < 0) {
        tcore_list_free(found);
        return walkFailed("dsc_acx_getSKFSignCertByDevSn", providerPath, rc);
    }
    return appendTokenCerts(found, providerPath, true, list);
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
    dsc_acx_walkerScope walker;
    char paths[DSC_ACX_MAX_PROVIDERS][DSC_ACX_SLOT];
    int count = dsc_acx_visitSkfProviders(
        paths, walker.get(),
        [](const char* path, tutil_skf_walker* w, void* l) {
            return dsc_acx_getSKFSignCert(w, path, static_cast<tcore_list**>(l));
        },
        list);

    char path360[DSC_ACX_SLOT] = {0};
    int rc = tcore_wreg_getValue(DSC_ACX_360_PROVIDER_KEY, DSC_ACX_SKF_IMAGE_VALUE, path360);
    if (rc < 0) {
        TCORE_TRACE(TSRC_DSC_ACX, "dsc_acx_getAll360SkfProvidersByWow tcore_wreg_getValue failed %d (%d)",
                    DSC_ACX_ERR_360_PATH, rc);
    } else {
        bool known = false;
        for (int i = 0; i < count && !known; ++i) known = std::strcmp(paths[i], path360) == 0;
        if (!known) {
            rc = dsc_acx_getSKFSignCert(walker.get(), path360, list);
            if (rc < 0) TCORE_TRACE(TSRC_DSC_ACX, "find 360 SKF certs with %s failed %d, find continue", path360, rc);
        }
    }

    rc = dsc_acx_getCSPSignCert(list);
    if (rc < 0) TCORE_TRACE(TSRC_DSC_ACX, "find CSP certs failed %d, find continue", rc);
    return finish(list);
}

int dsc_acx_getSignCertByDevSn(tcore_list** list, const char* deviceSn)
{
    if (list == nullptr || deviceSn == nullptr || deviceSn[0] == 0) return DSC_ACX_ERR_ARG;
    struct Request {
        const char* deviceSn;
        tcore_list** list;
    } request{deviceSn, list};
    dsc_acx_walkerScope walker;
    char paths[DSC_ACX_MAX_PROVIDERS][DSC_ACX_SLOT];
    dsc_acx_visitSkfProviders(
        paths, walker.get(),
        [](const char* path, tutil_skf_walker* w, void* r) {
            auto* req = static_cast<Request*>(r);
            return dsc_acx_getSKFSignCertByDevSn(w, req->deviceSn, path, req->list);
        },
        &request);
    return finish(list);
}
