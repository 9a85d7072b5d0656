#include <windows.h>

#include <wincrypt.h>

#include "test_stores.h"

namespace {

// The current user's system store itself (not the collection that
// CertOpenSystemStoreW gives), so deletions reach the stored certificates.
HCERTSTORE openUserStore(const wchar_t* name)
{
    return CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, name);
}

void emptyStore(const wchar_t* name)
{
    HCERTSTORE store = openUserStore(name);
    if (store == nullptr) return;
    while (PCCERT_CONTEXT cert = CertEnumCertificatesInStore(store, nullptr)) CertDeleteCertificateFromStore(cert);
    // Deletions of a registry-backed store are written out only on commit.
    CertControlStore(store, 0, CERT_STORE_CTRL_COMMIT, nullptr);
    CertCloseStore(store, 0);
}

}  // namespace

void test_stores_clear()
{
    emptyStore(L"MY");
    emptyStore(L"ZYPORA");
}

void test_stores_add(const char* storeName, const std::string& der)
{
    wchar_t name[64] = {0};
    MultiByteToWideChar(CP_ACP, 0, storeName, -1, name, 63);
    HCERTSTORE store = openUserStore(name);
    if (store == nullptr) return;
    CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()),
                                     static_cast<DWORD>(der.size()), CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
    CertCloseStore(store, 0);
}
