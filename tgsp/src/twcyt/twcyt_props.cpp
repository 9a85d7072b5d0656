// Library-owned properties on certificate contexts: the provider and key
// container a certificate came from, kept as NUL-terminated texts under the
// dense ids TWCYT_PROP_BASE + n.
#include <windows.h>
#include <wincrypt.h>

#include <cstring>

#include "tcore_sources.h"
#include "tcore_trace.h"
#include "twcyt_cert.h"
#include "tcore_errors.h"

namespace {

bool validIndex(int index) { return index >= 0 && index <= TWCYT_PROP_LAST - TWCYT_PROP_BASE; }

DWORD idOf(int index) { return static_cast<DWORD>(TWCYT_PROP_BASE + index); }

}  // namespace

int twcyt_cert_countProps(const twcyt_cert* cert)
{
    if (cert == nullptr) return 0;
    int n = 0;
    DWORD size = 0;
    while (validIndex(n) && CertGetCertificateContextProperty(cert, idOf(n), nullptr, &size)) ++n;
    return n;
}

int twcyt_cert_getProp(const twcyt_cert* cert, int index, char* out)
{
    if (cert == nullptr || !validIndex(index)) return TCORE_ERR_PARAM;
    DWORD size = 0;
    if (!CertGetCertificateContextProperty(cert, idOf(index), nullptr, &size)) {
        TCORE_TRACE_SYS(TSRC_TWCYT_CERT, "CertGetCertificateContextProperty");
        return TWCYT_ERR_GET_PROP;
    }
    if (out == nullptr) return static_cast<int>(size);
    if (size > TWCYT_PROP_AREA) return TCORE_ERR_BUFSIZE;
    std::memset(out, 0, TWCYT_PROP_AREA);
    if (!CertGetCertificateContextProperty(cert, idOf(index), out, &size)) {
        TCORE_TRACE_SYS(TSRC_TWCYT_CERT, "CertGetCertificateContextProperty");
        return TWCYT_ERR_GET_PROP;
    }
    return static_cast<int>(size);
}

int twcyt_cert_setProp(const twcyt_cert* cert, int index, const char* text)
{
    if (cert == nullptr || text == nullptr || !validIndex(index)) return TCORE_ERR_PARAM;
    CRYPT_DATA_BLOB blob{static_cast<DWORD>(std::strlen(text) + 1), reinterpret_cast<BYTE*>(const_cast<char*>(text))};
    if (!CertSetCertificateContextProperty(cert, idOf(index), 0, &blob)) {
        TCORE_TRACE_SYS(TSRC_TWCYT_CERT, "CertSetCertificateContextProperty");
        return TWCYT_ERR_SET_PROP;
    }
    return 0;
}
