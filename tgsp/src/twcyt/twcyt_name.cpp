// Certificate names: the subject DN text and the values of one field.
#include <cstring>

#include "tcore_codepage.h"
#include "tcore_mem.h"
#include "twcyt_cert.h"
#include "twcyt_name.h"
#include "twcyt_dn.h"
#include "tcore_errors.h"

namespace {

// A DN of 512 bytes or more does not fit and fails with -10003.
constexpr int kDnArea = 512;

int checkedInfo(const twcyt_cert* cert, const char* field)
{
    if (cert == nullptr || field == nullptr || *field == '\0') return TCORE_ERR_PARAM;
    return cert->pCertInfo == nullptr ? TWCYT_ERR_NO_INFO_NAME : 0;
}

}  // namespace

int twcyt_name_toStr(const CERT_NAME_BLOB* name, DWORD encodingType, char* out, int cap)
{
    if (name == nullptr) return TCORE_ERR_PARAM;
    auto* blob = const_cast<CERT_NAME_BLOB*>(name);
    // Most names fit the buffer on the stack and are rendered once; a text
    // that fills it may have been cut, and is asked for its size.
    WCHAR fixed[512];
    DWORD got = CertNameToStrW(encodingType, blob, CERT_X500_NAME_STR, fixed, 512);
    if (got <= 1) return TWCYT_ERR_EMPTY_NAME;
    WCHAR* wide = fixed;
    WCHAR* owned = nullptr;
    int rc = 0;
    if (got >= 512) {
        DWORD size = CertNameToStrW(encodingType, blob, CERT_X500_NAME_STR, nullptr, 0);
        owned = static_cast<WCHAR*>(tcore_zalloc((size > 1 ? size : 1) * sizeof(WCHAR)));
        if (size <= 1 || CertNameToStrW(encodingType, blob, CERT_X500_NAME_STR, owned, size) != size)
            rc = TWCYT_ERR_EMPTY_NAME;
        wide = owned;
    }
    // Most texts fit a buffer on the stack and are converted in one pass;
    // a longer one, or one that fails, goes through tcore_wideToUtf8, which
    // sizes it and traces a failure.
    char fixedUtf8[1024];
    char* utf8 = nullptr;
    const char* text = fixedUtf8;
    if (rc >= 0) {
        int converted = WideCharToMultiByte(CP_UTF8, 0, wide, -1, fixedUtf8, sizeof fixedUtf8, nullptr, nullptr);
        if (converted <= 0) {
            rc = tcore_wideToUtf8(wide, 0, &utf8);
            text = utf8;
        }
    }
    if (rc >= 0) {
        int len = static_cast<int>(std::strlen(text));
        if (out == nullptr) {
            rc = len + 1;
        } else if (cap > len) {
            std::memset(out, 0, static_cast<size_t>(cap));
            std::memcpy(out, text, static_cast<size_t>(len));
            rc = len + 1;
        } else {
            rc = TCORE_ERR_BUFSIZE;
        }
    }
    tcore_free(utf8);
    tcore_free(owned);
    return rc;
}

int twcyt_cert_getDn(const twcyt_cert* cert, char* out, int cap)
{
    if (cert == nullptr) return TCORE_ERR_PARAM;
    if (cert->pCertInfo == nullptr) return TWCYT_ERR_NO_INFO_NAME;
    return twcyt_name_toStr(&cert->pCertInfo->Subject, cert->dwCertEncodingType, out, cap);
}

int twcyt_cert_getIssuerDn(const twcyt_cert* cert, char* out, int cap)
{
    if (cert == nullptr) return TCORE_ERR_PARAM;
    if (cert->pCertInfo == nullptr) return TWCYT_ERR_NO_INFO_NAME;
    return twcyt_name_toStr(&cert->pCertInfo->Issuer, cert->dwCertEncodingType, out, cap);
}

int twcyt_cert_getRdns(const twcyt_cert* cert, const char* field, tcore_list** values)
{
    int rc = checkedInfo(cert, field);
    if (rc != 0) return rc;
    char dn[kDnArea];
    rc = twcyt_cert_getDn(cert, dn, kDnArea);
    return rc < 0 ? rc : twcyt_dn_getRdnValues(dn, field, values);
}

int twcyt_cert_getRdn(const char* field, const twcyt_cert* cert, char* out)
{
    tcore_list* values = nullptr;
    int rc = twcyt_cert_getRdns(cert, field, &values);
    if (rc > 0) {
        const auto* first = static_cast<const char*>(values->items[0]);
        int len = static_cast<int>(std::strlen(first));
        if (out != nullptr && len >= TWCYT_FIELD_AREA) {
            rc = TCORE_ERR_PARAM;
        } else {
            if (out != nullptr) {
                std::memset(out, 0, TWCYT_FIELD_AREA);
                std::memcpy(out, first, static_cast<size_t>(len));
            }
            rc = len;
        }
    }
    tcore_list_free(values);
    return rc;
}

int twcyt_cert_hasRdnValue(const char* field, const twcyt_cert* cert, const char* text)
{
    if (field == nullptr || *field == '\0' || cert == nullptr || text == nullptr || *text == '\0') return 0;
    tcore_list* values = nullptr;
    int n = twcyt_cert_getRdns(cert, field, &values);
    int found = 0;
    for (int i = 0; i < n && !found; ++i)
        if (std::strstr(static_cast<const char*>(values->items[i]), text) != nullptr) found = 1;
    tcore_list_free(values);
    return found;
}
