#include "twcyt_certstore.h"

#include <windows.h>
#include <wincrypt.h>

#include <cstring>

#include "tcore_codepage.h"
#include "tcore_errors.h"
#include "tcore_mem.h"
#include "tcore_sources.h"
#include "tcore_trace.h"
#include "twcyt_cert.h"

namespace {

constexpr size_t kNamesArea = 256;
char storeNames[kNamesArea] = "MY";

void freeContext(void* cert) { twcyt_cert_free(static_cast<const twcyt_cert*>(cert)); }

}  // namespace

int twcyt_certstore_setNames(const char* names)
{
    std::memset(storeNames, 0, sizeof storeNames);
    if (names != nullptr) std::strncpy(storeNames, names, sizeof storeNames - 1);
    return 0;
}

int twcyt_certstore_findBySysStore(const char* storeName, int alg, tcore_list** retCerts)
{
    if (retCerts == nullptr) {
        TCORE_TRACE(TSRC_TWCYT_CERT, "%s arg %s is NULL", "twcyt_certstore_findBySysStore", "retCerts");
        return TCORE_ERR_PARAM;
    }
    if (storeName == nullptr || storeName[0] == 0) {
        TCORE_TRACE(TSRC_TWCYT_CERT, "%s arg %s is NULL or length 0", "twcyt_certstore_findBySysStore", "strStoreName");
        return TCORE_ERR_PARAM;
    }
    WCHAR* wideName = nullptr;
    if (tcore_mbToWide(storeName, 0, &wideName) < 0) return 0;
    HCERTSTORE store = CertOpenSystemStoreW(0, wideName);
    tcore_free(wideName);
    if (store == nullptr) {
        TCORE_TRACE_SYS(TSRC_TWCYT_CERT, "CertOpenSystemStore");
        TCORE_TRACE(TSRC_TWCYT_CERT, "CertOpenSystemStore %s failed", storeName);
        return 0;
    }
    int count = 0;
    PCCERT_CONTEXT cert = nullptr;
    while ((cert = CertEnumCertificatesInStore(store, cert)) != nullptr) {
        if (alg >= 1 && twcyt_cert_getKeyAlg(cert) != alg) continue;
        if (twcyt_cert_isSignCert(cert) == 0) continue;
        if (*retCerts == nullptr) *retCerts = tcore_list_new(freeContext);
        tcore_list_append(*retCerts, const_cast<CERT_CONTEXT*>(CertDuplicateCertificateContext(cert)));
        ++count;
    }
    CertCloseStore(store, 0);
    return count;
}

int twcyt_certstore_findAll(int alg, tcore_list** retCerts)
{
    if (storeNames[0] == 0) return twcyt_certstore_findBySysStore("MY", alg, retCerts);
    int total = 0;
    char* piece = storeNames;
    for (;;) {
        char* colon = std::strchr(piece, ':');
        if (colon != nullptr) *colon = 0;
        int n = twcyt_certstore_findBySysStore(piece, alg, retCerts);
        if (colon != nullptr) *colon = ':';  // the list stays as it was
        if (n > 0) total += n;
        if (colon == nullptr) break;
        piece = colon + 1;
    }
    return total;
}
