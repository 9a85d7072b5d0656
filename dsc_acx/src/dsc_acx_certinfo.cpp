#include "dsc_acx_certinfo.h"

#include <cstring>

#include "dsc_acx_gather.h"
#include "dsc_acx_selected.h"
#include "dsc_acx_source.h"
#include "tcore_codepage.h"
#include "tcore_errors.h"
#include "tcore_mem.h"
#include "tcore_sources.h"
#include "tcore_trace.h"
#include "twcyt_cert.h"
#include "twcyt_dn.h"

namespace {

void copyText(char* to, size_t width, const char* from)
{
    std::memset(to, 0, width);
    std::memcpy(to, from, strnlen(from, width - 1));
}

const char* keyAlgOf(const twcyt_cert* cert, const char* recorded)
{
    bool any = recorded[0] == 0;
    if (twcyt_cert_isRsa(cert) == 1 && (any || std::strcmp(recorded, "RSA") == 0)) return "RSA";
    if (twcyt_cert_isSm2(cert) == 1 && (any || std::strcmp(recorded, "SM2") == 0)) return "SM2";
    return nullptr;
}

// Builds records from the list and keeps those `matches` accepts, up to the
// size of the array. A record whose certificate is at hand is matched before
// the rest of its candidate (names, base64, validity) is built: most records
// of a search do not match.
template <typename Matches>
int collect(dsc_acx_certArray* array, const tcore_list* list, Matches matches)
{
    auto accepted = [&](const twcyt_cert* cert) {
        char dn[256] = {0};
        return twcyt_cert_getDn(cert, dn, sizeof dn) >= 0 && matches(cert, dn);
    };
    auto* work = static_cast<dsc_acx_certinfo*>(tcore_zalloc(sizeof(dsc_acx_certinfo)));
    int found = 0;
    for (int i = 0; i < list->count && found < DSC_ACX_CERT_ARRAY; ++i) {
        auto* record = static_cast<const dsc_acx_cert*>(list->items[i]);
        const twcyt_cert* early = dsc_acx_cert_context(record);
        if (early != nullptr && !accepted(early)) continue;
        if (dsc_acx_certinfo_build(record, work) < 0) continue;
        if (early != nullptr || accepted(work->cert)) {
            dsc_acx_certinfo_move(&array->slots[found++], work);
        } else {
            dsc_acx_certinfo_release(work);
        }
    }
    dsc_acx_certinfo_release(work);
    tcore_free(work);
    return found > 0 ? found : DSC_ACX_ERR_NO_CERT;
}

}  // namespace

int dsc_acx_getCn(const char* dn, char* field)
{
    if (dn == nullptr || field == nullptr) return DSC_ACX_ERR_ARG;
    // The DN walk, not a search for "CN=": a quoted O="Bank, CN=Alice" must
    // not name the holder in the chooser.
    tcore_list* values = nullptr;
    int n = *dn == '\0' ? 0 : twcyt_dn_getRdnValues(dn, "CN", &values);
    const char* value = n > 0 ? static_cast<const char*>(values->items[0]) : "";
    size_t len = std::strlen(value);
    int rc = DSC_ACX_ERR_NO_CN;
    if (len > 0) {
        // A value longer than the field is cut, never written past it.
        if (len > DSC_ACX_CN_AREA - 1) len = DSC_ACX_CN_AREA - 1;
        std::memset(field, 0, DSC_ACX_CN_AREA);
        std::memcpy(field, value, len);
        rc = 0;
    }
    tcore_list_free(values);
    return rc;
}

int dsc_acx_certinfo_release(dsc_acx_certinfo* info)
{
    if (info == nullptr) return DSC_ACX_ERR_ARG;
    if (info->cert != nullptr) twcyt_cert_free(info->cert);
    if (info->tokenObject != nullptr) info->source->release(info->tokenObject);
    std::memset(info, 0, sizeof *info);
    return 0;
}

int dsc_acx_certinfo_build(const dsc_acx_cert* cert, dsc_acx_certinfo* info)
{
    if (cert == nullptr || info == nullptr) return DSC_ACX_ERR_ARG;
    dsc_acx_certinfo_release(info);
    // Gathering decoded a token's certificate once; bytes that made no
    // certificate then make none now either.
    info->cert = twcyt_cert_dup(dsc_acx_cert_context(cert));
    if (info->cert == nullptr) {
        TCORE_TRACE(TSRC_DSC_ACX, "parse certdata from %s failed", cert->kind);
        return DSC_ACX_ERR_TOKEN_CERT;
    }
    info->source = cert->source;
    info->tokenObject = cert->source->retain(cert->handle);
    const char* keyAlg = keyAlgOf(info->cert, cert->keyAlg);
    if (keyAlg == nullptr) {
        dsc_acx_certinfo_release(info);
        return DSC_ACX_ERR_KEY_ALG;
    }
    copyText(info->keyAlg, sizeof info->keyAlg, keyAlg);
    copyText(info->kind, sizeof info->kind, cert->kind);
    copyText(info->providerPath, sizeof info->providerPath, cert->providerPath);
    twcyt_cert_getDn(info->cert, info->subjectDn, sizeof info->subjectDn);
    twcyt_cert_getIssuerDn(info->cert, info->issuerDn, sizeof info->issuerDn);
    dsc_acx_getCn(info->subjectDn, info->subjectCn);
    dsc_acx_getCn(info->issuerDn, info->issuerCn);
    twcyt_cert_getValidity(info->cert, info->notBefore, info->notAfter);
    // The text goes back in the caller's certificate buffer, which holds
    // 4096 bytes: a certificate whose text does not fit is no candidate,
    // rather than a selection that hands back a cut or empty text.
    if (twcyt_cert_toBase64(info->cert, info->certBase64) < 0) {
        int derLen = 0;
        twcyt_cert_der(info->cert, &derLen);
        TCORE_TRACE(TSRC_DSC_ACX, "certificate of %u bytes too large for the %d-byte text, continue",
                    static_cast<unsigned>(derLen), static_cast<int>(sizeof info->certBase64));
        dsc_acx_certinfo_release(info);
        return DSC_ACX_ERR_BASE64;
    }
    return 0;
}

void dsc_acx_certinfo_move(dsc_acx_certinfo* to, dsc_acx_certinfo* from)
{
    std::memcpy(to, from, sizeof *to);
    std::memset(from, 0, sizeof *from);
}

int dsc_acx_certArray_release(dsc_acx_certArray* array)
{
    if (array == nullptr) return DSC_ACX_ERR_ARG;
    for (auto& slot : array->slots) dsc_acx_certinfo_release(&slot);
    return 0;
}

int dsc_acx_certArray2infos(dsc_acx_certArray* array, const tcore_list* list)
{
    if (list == nullptr) return 0;
    if (list->count > DSC_ACX_CERT_ARRAY) return DSC_ACX_ERR_TOO_MANY;
    if (array == nullptr || list->count <= 0) return list->count;
    for (int i = 0; i < list->count; ++i)
        dsc_acx_certinfo_build(static_cast<const dsc_acx_cert*>(list->items[i]), &array->slots[i]);
    return list->count;
}

dsc_acx_certinfo* dsc_acx_certinfo_create(dsc_acx_certArray* array)
{
    if (array == nullptr) return nullptr;
    auto* record = static_cast<dsc_acx_certinfo*>(tcore_zalloc(sizeof(dsc_acx_certinfo)));
    dsc_acx_certinfo_move(record, &array->slots[0]);
    return record;
}

int dsc_acx_findCertByDn(dsc_acx_certArray* array, const tcore_list* list, const char* dn)
{
    if (array == nullptr || list == nullptr || list->count <= 0 || dn == nullptr || dn[0] == 0) return DSC_ACX_ERR_ARG;
    twcyt_dnQuery* query = twcyt_dn_prepare(dn);
    int rc = collect(array, list,
                     [&](const twcyt_cert*, const char* subject) { return twcyt_dn_compareWith(query, subject) == 0; });
    twcyt_dn_freeQuery(query);
    return rc;
}

int dsc_acx_findCertByRdn(const char* fields, const tcore_list* list, const char* values, dsc_acx_certArray* array)
{
    if (list == nullptr || list->count <= 0 || fields == nullptr || fields[0] == 0 || values == nullptr ||
        values[0] == 0 || array == nullptr)
        return DSC_ACX_ERR_ARG;
    char* utf8Fields = nullptr;
    int rc = tcore_mbToUtf8(fields, 0, &utf8Fields);
    if (rc < 0) return rc;
    char* valuesCopy = tcore_strdup(values);
    tcore_strlist* fieldList = tcore_strlist_split(utf8Fields);
    tcore_strlist* valueList = tcore_strlist_split(valuesCopy);
    int count = tcore_strlist_count(fieldList);
    int result = DSC_ACX_ERR_FIELD_COUNT;
    if (count == tcore_strlist_count(valueList)) {
        result = collect(array, list, [&](const twcyt_cert* cert, const char*) {
            for (int j = 0; j < count; ++j)
                if (twcyt_cert_hasRdnValue(tcore_strlist_get(fieldList, j), cert, tcore_strlist_get(valueList, j)) != 1)
                    return false;
            return true;
        });
    }
    tcore_strlist_free(fieldList);
    tcore_strlist_free(valueList);
    tcore_free(valuesCopy);
    tcore_free(utf8Fields);
    return result;
}

int dsc_acx_certinfo_setPin(const char* pin)
{
    dsc_acx_certinfo* selected = dsc_acx_selectedCert;
    if (selected == nullptr) {
        TCORE_TRACE(TSRC_DSC_ACX, "%s arg %s is NULL", "dsc_acx_certinfo_setPin", "certinfo");
        return TCORE_ERR_PARAM;
    }
    // A slot whose record could not be built has no source and keeps no PIN.
    if (selected->source != nullptr) selected->source->keepPin(selected, pin);
    return 0;
}
