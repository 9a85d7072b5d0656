#include "dsc_acx_certprop.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <strings.h>

#include "tcore_errors.h"
#include "dsc_acx_log.h"
#include "tcore_codec.h"
#include "tcore_codepage.h"
#include "tcore_mem.h"
#include "tcore_sources.h"
#include "tcore_trace.h"
#include "twcyt_cert.h"

namespace {

// A certificate context loaded from the caller's text for one query.
class LoadedCert {
public:
    explicit LoadedCert(const char* text)
    {
        if (text == nullptr || *text == '\0') {
            rc_ = DSC_ACX_ERR_ARG;
            return;
        }
        cert_ = twcyt_cert_load(reinterpret_cast<const unsigned char*>(text), static_cast<int>(std::strlen(text)));
        if (cert_ == nullptr) {
            TCORE_TRACE(TSRC_DSC_ACX, "twcyt_cert_load fail");
            rc_ = DSC_ACX_ERR_CERT_LOAD;
        }
    }
    ~LoadedCert() { twcyt_cert_free(cert_); }
    LoadedCert(const LoadedCert&) = delete;
    LoadedCert& operator=(const LoadedCert&) = delete;
    const twcyt_cert* get() const { return cert_; }
    int rc() const { return rc_; }

private:
    const twcyt_cert* cert_ = nullptr;
    int rc_ = 0;
};

// The UTF-8 answer in the ANSI code page, into the caller's buffer with its
// NUL. A buffer without room for it is refused rather than left untouched
// under a success code.
int deliver(const char* utf8, char* out, int outLen)
{
    char* text = nullptr;
    if (tcore_utf8ToMb(utf8, &text) < 0) return DSC_ACX_ERR_PROPERTY_TEXT;
    int len = static_cast<int>(std::strlen(text));
    int rc = 0;
    if (out == nullptr) {
        rc = len;
    } else if (outLen > len) {
        std::memcpy(out, text, static_cast<size_t>(len) + 1);
    } else {
        dsc_acx_logError("Sgn_GetCertProperty buffer of %d bytes too small for %d", outLen, len);
        rc = DSC_ACX_ERR_CERT_BUFFER;
    }
    tcore_free(text);
    return rc;
}

bool named(const char* field, const char* name) { return strcasecmp(field, name) == 0; }

}  // namespace

int dsc_acx_cert_getSubjectDn(const char* cert, char* area)
{
    LoadedCert loaded(cert);
    if (loaded.rc() != 0) return loaded.rc();
    int rc = twcyt_cert_getDn(loaded.get(), area, DSC_ACX_FIELD_AREA);
    if (rc < 0) {
        TCORE_TRACE(TSRC_DSC_ACX, "twcyt_cert_getDn fail %d", DSC_ACX_ERR_DN_TEXT);
        return DSC_ACX_ERR_DN_TEXT;
    }
    return rc;
}

int dsc_acx_cert_getHexSn(const char* cert, char* out, int outLen)
{
    LoadedCert loaded(cert);
    if (loaded.rc() != 0) return loaded.rc();
    unsigned char serial[256] = {0};
    int n = twcyt_cert_getSnData(loaded.get(), serial, sizeof serial);
    if (n < 0) {
        TCORE_TRACE(TSRC_DSC_ACX, "twcyt_cert_getSnData fail %d(%d)", DSC_ACX_ERR_SN_READ, n);
        return DSC_ACX_ERR_SN_READ;
    }
    // The platform keeps the serial least significant byte first.
    std::reverse(serial, serial + n);
    int digits = tcore_bytesToHexString(serial, n, out, outLen);
    if (digits < 0) {
        TCORE_TRACE(TSRC_DSC_ACX, "tcore_bytesToHexString fail %d(%d)", DSC_ACX_ERR_SN_BUFFER, n);
        return DSC_ACX_ERR_SN_BUFFER;
    }
    return digits;
}

int dsc_acx_cert_getSubjectRdn(const char* cert, const char* field, char* area)
{
    LoadedCert loaded(cert);
    if (loaded.rc() != 0) return loaded.rc();
    int rc = twcyt_cert_getRdn(field, loaded.get(), area);
    if (rc <= 0) {
        TCORE_TRACE(TSRC_DSC_ACX, "twcyt_cert_getRdn fail %d", DSC_ACX_ERR_DN_TEXT);
        return DSC_ACX_ERR_NO_FIELD;
    }
    return rc;
}

int dsc_acx_getCertProperty(const char* cert, const char* field, char* out, int outLen)
{
    char area[DSC_ACX_FIELD_AREA] = {0};
    // An empty field is a field query that finds nothing (-2008), traced
    // and logged like any other.
    if (cert == nullptr || *cert == '\0' || field == nullptr) return DSC_ACX_ERR_ARG;

    if (named(field, "SN")) {
        int rc = dsc_acx_cert_getHexSn(cert, out, outLen);
        if (rc < 0) dsc_acx_logError("Sgn_GetSerialNumber dsc_acx_cert_getHexSn failed %d", rc);
        return rc < 0 ? rc : out == nullptr ? rc : 0;
    }
    if (named(field, "DN")) {
        int rc = dsc_acx_cert_getSubjectDn(cert, area);
        if (rc < 0) {
            dsc_acx_logError("Sgn_GetCertSubject dsc_acx_cert_getSubjectDn failed %d", rc);
            return rc;
        }
        return deliver(area, out, outLen);
    }
    // Field names are short; a longer one is refused, never cut.
    if (std::strlen(field) > DSC_ACX_FIELD_NAME_MAX) return DSC_ACX_ERR_ARG;
    char upper[DSC_ACX_FIELD_NAME_MAX + 1] = {0};
    for (int i = 0; field[i] != '\0'; ++i)
        upper[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(field[i])));
    int rc = dsc_acx_cert_getSubjectRdn(cert, upper, area);
    if (rc < 0) {
        dsc_acx_logError("Sgn_GetCertSubjectInfo dsc_acx_cert_getSubjectRdn failed %d", rc);
        return rc;
    }
    return deliver(area, out, outLen);
}
