// Certificate contexts of the Linux stand-in made from any bytes, and their
// names rendered as Windows renders them.
#include <windows.h>
#include <wincrypt.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "twcyt_cert.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<BYTE> bytes(data, data + size);
    if (bytes.empty()) return 0;
    PCCERT_CONTEXT cert = CertCreateCertificateContext(X509_ASN_ENCODING, bytes.data(),
                                                       static_cast<DWORD>(bytes.size()));
    if (cert == nullptr) return 0;
    for (CERT_NAME_BLOB* name : {&cert->pCertInfo->Subject, &cert->pCertInfo->Issuer}) {
        DWORD n = CertNameToStrW(X509_ASN_ENCODING, name, CERT_X500_NAME_STR, nullptr, 0);
        std::vector<WCHAR> text(n + 1);
        CertNameToStrW(X509_ASN_ENCODING, name, CERT_X500_NAME_STR, text.data(), n);
    }
    char dn[256];
    twcyt_cert_getDn(cert, dn, sizeof dn);
    twcyt_cert_isSm2(cert);
    twcyt_cert_isSignCert(cert);
    CertFreeCertificateContext(cert);
    return 0;
}
