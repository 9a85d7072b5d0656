#include "dsc_acx_select.h"

#include <cstring>

#include "dsc_acx_certinfo.h"
#include "dsc_acx_chooser.h"
#include "tcore_errors.h"
#include "dsc_acx_gather.h"
#include "dsc_acx_log.h"
#include "dsc_acx_selected.h"
#include "tcore_codepage.h"
#include "tcore_mem.h"

namespace {

// What one selection call owns: the gathered list and the candidates. The
// candidates live on the heap: 24 records are about 124 KiB, more than a
// host thread's stack should be asked for.
struct Selection {
    tcore_list* list = nullptr;
    dsc_acx_certArray* candidates = static_cast<dsc_acx_certArray*>(tcore_zalloc(sizeof(dsc_acx_certArray)));
    ~Selection()
    {
        dsc_acx_certArray_release(candidates);
        tcore_free(candidates);
        tcore_list_free(list);
    }
};

// Records that failed to build leave empty slots; they are no candidates.
int compact(dsc_acx_certArray* candidates, int count)
{
    int kept = 0;
    for (int i = 0; i < count; ++i) {
        if (candidates->slots[i].cert == nullptr) continue;
        if (kept != i) dsc_acx_certinfo_move(&candidates->slots[kept], &candidates->slots[i]);
        ++kept;
    }
    return kept;
}

// One candidate is selected at once; several go to the chooser.
int select(dsc_acx_certArray* candidates, int count)
{
    count = compact(candidates, count);
    if (count == 0) return DSC_ACX_ERR_NO_CERT;
    if (count == 1) {
        dsc_acx_logInfo("dsc_acx_certinfo_create start..");
        dsc_acx_selectedCert = dsc_acx_certinfo_create(candidates);
        return 0;
    }
    return dsc_acx_showCertChooser(candidates, count);
}

int copyCertText(char* out, size_t cap)
{
    const char* text = dsc_acx_selectedCert->certBase64;
    size_t len = strnlen(text, sizeof dsc_acx_selectedCert->certBase64);
    if (len + 1 > cap) return DSC_ACX_ERR_CERT_BUFFER;
    std::memcpy(out, text, len + 1);
    return 0;
}

}  // namespace

int dsc_acx_selectCertByKeySn(const char* deviceSn, char* outCert, int outLen)
{
    dsc_acx_logInfo("Sgn_SelectCertByKeySn start..");
    if (deviceSn == nullptr || deviceSn[0] == 0 || outCert == nullptr) return DSC_ACX_ERR_ARG;
    dsc_acx_releaseSelectedCert();
    Selection s;
    int rc = dsc_acx_getSignCertByDevSn(&s.list, deviceSn);
    if (rc <= 0) {
        dsc_acx_logError("dsc_acx_getSignCertByDevSn failed %d (%d)", rc, rc);
        return rc;
    }
    dsc_acx_logInfo("dsc_acx_certArray2infos start..");
    rc = dsc_acx_certArray2infos(s.candidates, s.list);
    if (rc <= 0) return rc;
    rc = select(s.candidates, rc);
    if (rc < 0) return rc;
    if (outLen <= 0) return DSC_ACX_ERR_CERT_BUFFER;
    return copyCertText(outCert, static_cast<size_t>(outLen));
}

int dsc_acx_selectCertByDn(const char* field, const char* value, char* outCert)
{
    dsc_acx_releaseSelectedCert();
    if (outCert == nullptr) return DSC_ACX_ERR_ARG;
    bool search = field != nullptr && field[0] != 0 && value != nullptr && value[0] != 0;
    // Without a value the field is not used, whatever its length.
    if (search && std::strlen(field) > DSC_ACX_FIELD_MAX) return DSC_ACX_ERR_ARG;
    Selection s;
    int rc = dsc_acx_getAllSignCerts(&s.list);
    if (rc <= 0) {
        dsc_acx_logError("dsc_acx_getAllSignCerts failed %d (%d)", rc, rc);
        return rc;
    }
    if (search) {
        char* utf8Value = nullptr;
        rc = tcore_mbToUtf8(value, 0, &utf8Value);
        if (rc < 0) return rc;
        char upper[DSC_ACX_FIELD_MAX + 1] = {0};
        for (size_t i = 0; field[i] != 0; ++i)
            upper[i] = field[i] >= 'a' && field[i] <= 'z' ? static_cast<char>(field[i] - 32) : field[i];
        if (std::strcmp(upper, "DN") == 0) {
            rc = dsc_acx_findCertByDn(s.candidates, s.list, utf8Value);
        } else {
            rc = dsc_acx_findCertByRdn(upper, s.list, value, s.candidates);
            if (rc <= 0) rc = dsc_acx_findCertByRdn(upper, s.list, utf8Value, s.candidates);
        }
        tcore_free(utf8Value);
        if (rc <= 0) {
            dsc_acx_logError("dsc_acx_findCertByDn for %s=%s failed %d (%d)", upper, value, rc, rc);
            return rc;
        }
    } else {
        rc = dsc_acx_certArray2infos(s.candidates, s.list);
        if (rc <= 0) return rc;
    }
    rc = select(s.candidates, rc);
    if (rc < 0) return rc;
    return copyCertText(outCert, DSC_ACX_CERT_TEXT);
}
