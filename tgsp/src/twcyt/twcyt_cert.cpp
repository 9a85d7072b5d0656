#include "twcyt_cert.h"

#include <windows.h>
#include <wincrypt.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string_view>
#include <strings.h>

#include "tasn1_cert.h"
#include "tcore_codec.h"
#include "tcore_mem.h"
#include "tcore_sources.h"
#include "tcore_trace.h"
#include "tcore_errors.h"

namespace {

const char kOidRsa[] = "1.2.840.113549.1.1.1";
const char kOidEcPublicKey[] = "1.2.840.10045.2.1";
const char kOidSm2[] = "1.2.156.10197.1.301";
// The EC parameters naming the SM2 curve: the OID 1.2.156.10197.1.301.
const unsigned char kSm2CurveParameter[] = {0x06, 0x08, 0x2A, 0x81, 0x1C, 0xCF, 0x55, 0x01, 0x82, 0x2D};

constexpr int kBase64Capacity = 4095;

// "00" to "59": month, day, hour, minute and second are printed from it.
const char* const kTwoDigits[] = {
    "00", "01", "02", "03", "04", "05", "06", "07", "08", "09", "10", "11", "12", "13", "14",
    "15", "16", "17", "18", "19", "20", "21", "22", "23", "24", "25", "26", "27", "28", "29",
    "30", "31", "32", "33", "34", "35", "36", "37", "38", "39", "40", "41", "42", "43", "44",
    "45", "46", "47", "48", "49", "50", "51", "52", "53", "54", "55", "56", "57", "58", "59",
};

const char* twoDigits(WORD value) { return value < 60 ? kTwoDigits[value] : "??"; }

int formatTime(const FILETIME& time, char* out)
{
    SYSTEMTIME st;
    if (!FileTimeToSystemTime(&time, &st)) return TWCYT_ERR_FILETIME;
    std::memset(out, 0, TWCYT_VALIDITY_AREA);
    std::snprintf(out, TWCYT_VALIDITY_AREA, "%d%s%s%s%s%s", st.wYear, twoDigits(st.wMonth), twoDigits(st.wDay),
                  twoDigits(st.wHour), twoDigits(st.wMinute), twoDigits(st.wSecond));
    return 0;
}

// First key-usage byte; false when the certificate carries no usage.
bool keyUsage(const twcyt_cert* cert, BYTE* first)
{
    // Windows zeroes the area when there is no usage, Wine leaves it: zero it.
    BYTE usage[2] = {0, 0};
    if (!CertGetIntendedKeyUsage(X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, cert->pCertInfo, usage, sizeof usage))
        return false;
    *first = usage[0];
    return true;
}

const char* keyOid(const twcyt_cert* cert)
{
    if (cert == nullptr || cert->pCertInfo == nullptr) return "";
    const char* oid = cert->pCertInfo->SubjectPublicKeyInfo.Algorithm.pszObjId;
    return oid != nullptr ? oid : "";
}

}  // namespace

const twcyt_cert* twcyt_cert_load(const unsigned char* bytes, int len)
{
    const unsigned char* der = nullptr;
    unsigned char* owned = nullptr;
    int derLen = tasn1_cert_asDer(bytes, len, &der, &owned);
    if (derLen <= 0) return nullptr;
    PCCERT_CONTEXT cert = CertCreateCertificateContext(X509_ASN_ENCODING, der, static_cast<DWORD>(derLen));
    if (cert == nullptr) TCORE_TRACE_SYS(TSRC_TWCYT_CERT, "CertCreateCertificateContext");
    tcore_free(owned);
    return cert;
}

void twcyt_cert_free(const twcyt_cert* cert)
{
    if (cert != nullptr) CertFreeCertificateContext(cert);
}

const twcyt_cert* twcyt_cert_dup(const twcyt_cert* cert)
{
    return cert != nullptr ? CertDuplicateCertificateContext(cert) : nullptr;
}

const unsigned char* twcyt_cert_der(const twcyt_cert* cert, int* len)
{
    if (len != nullptr) *len = cert != nullptr ? static_cast<int>(cert->cbCertEncoded) : 0;
    return cert != nullptr ? cert->pbCertEncoded : nullptr;
}

int twcyt_cert_isSame(const twcyt_cert* a, const twcyt_cert* b)
{
    if (a == nullptr || b == nullptr || a->pCertInfo == nullptr || b->pCertInfo == nullptr) return 0;
    return CertCompareCertificate(X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, a->pCertInfo, b->pCertInfo) ? 1 : 0;
}

unsigned long twcyt_cert_sameKey(const twcyt_cert* cert)
{
    if (cert == nullptr || cert->pCertInfo == nullptr) return 0;
    // The issuer's exact bytes and the serial's lowest byte, which dropping
    // sign extension never touches. A serial of sign bytes alone (all 0x00
    // or all 0xFF) may reduce to no bytes at all: such serials, and an empty
    // one, count as one.
    const CRYPT_INTEGER_BLOB& serial = cert->pCertInfo->SerialNumber;
    const CERT_NAME_BLOB& issuer = cert->pCertInfo->Issuer;
    const BYTE* begin = serial.pbData;
    const BYTE* end = begin + serial.cbData;
    bool signOnly = serial.cbData == 0 || std::all_of(begin, end, [](BYTE b) { return b == 0x00; }) ||
                    std::all_of(begin, end, [](BYTE b) { return b == 0xFF; });
    size_t issuerHash = issuer.cbData == 0 ? 0
                                           : std::hash<std::string_view>()(
                                                 {reinterpret_cast<const char*>(issuer.pbData), issuer.cbData});
    return static_cast<unsigned long>(issuerHash * 31 + (signOnly ? 0 : serial.pbData[0]));
}

int twcyt_cert_getSnData(const twcyt_cert* cert, unsigned char* out, int cap)
{
    if (cert == nullptr || out == nullptr || cap <= 0) return TCORE_ERR_PARAM;
    if (cert->pCertInfo == nullptr) return TWCYT_ERR_NO_INFO_SN;
    const CRYPT_INTEGER_BLOB& serial = cert->pCertInfo->SerialNumber;
    // A serial longer than the caller's area is refused, never cut.
    if (serial.cbData > static_cast<DWORD>(cap)) return TCORE_ERR_BUFSIZE;
    std::memset(out, 0, static_cast<size_t>(cap));
    if (serial.cbData > 0) std::memcpy(out, serial.pbData, serial.cbData);
    return static_cast<int>(serial.cbData);
}

int twcyt_cert_getValidity(const twcyt_cert* cert, char* notBefore, char* notAfter)
{
    if (cert == nullptr || cert->pCertInfo == nullptr) return TCORE_ERR_PARAM;
    int rc = notBefore != nullptr ? formatTime(cert->pCertInfo->NotBefore, notBefore) : 0;
    if (rc == 0 && notAfter != nullptr) rc = formatTime(cert->pCertInfo->NotAfter, notAfter);
    return rc;
}

int twcyt_cert_checkValidity(const twcyt_cert* cert)
{
    if (cert == nullptr || cert->pCertInfo == nullptr) return TCORE_ERR_PARAM;
    LONG position = CertVerifyTimeValidity(nullptr, cert->pCertInfo);
    return position < 0 ? TWCYT_ERR_NOT_YET_VALID : position > 0 ? TWCYT_ERR_EXPIRED : 0;
}

int twcyt_cert_isSignCert(const twcyt_cert* cert)
{
    if (cert == nullptr || cert->pCertInfo == nullptr) return 0;
    BYTE usage = 0;
    if (!keyUsage(cert, &usage)) return 1;
    return (usage & (CERT_DIGITAL_SIGNATURE_KEY_USAGE | CERT_NON_REPUDIATION_KEY_USAGE)) != 0 ? 1 : 0;
}

int twcyt_cert_isEncCert(const twcyt_cert* cert)
{
    if (cert == nullptr || cert->pCertInfo == nullptr) return 0;
    BYTE usage = 0;
    if (!keyUsage(cert, &usage)) return 1;
    return (usage & CERT_DATA_ENCIPHERMENT_KEY_USAGE) != 0 ? 1 : 0;
}

int twcyt_cert_isRsa(const twcyt_cert* cert) { return std::strcmp(keyOid(cert), kOidRsa) == 0 ? 1 : 0; }

int twcyt_cert_isSm2(const twcyt_cert* cert)
{
    // An EC key is SM2 only on the SM2 curve: a key on another curve could
    // be chosen but never signed with.
    const char* oid = keyOid(cert);
    if (std::strcmp(oid, kOidSm2) == 0) return 1;
    if (std::strcmp(oid, kOidEcPublicKey) != 0) return 0;
    const CRYPT_OBJID_BLOB& params = cert->pCertInfo->SubjectPublicKeyInfo.Algorithm.Parameters;
    return params.cbData == sizeof kSm2CurveParameter &&
                   std::memcmp(params.pbData, kSm2CurveParameter, sizeof kSm2CurveParameter) == 0
               ? 1
               : 0;
}

int twcyt_cert_getKeyAlg(const twcyt_cert* cert)
{
    if (twcyt_cert_isRsa(cert)) return TWCYT_ALG_RSA;
    if (twcyt_cert_isSm2(cert)) return TWCYT_ALG_SM2;
    return TWCYT_ERR_KEY_ALG;
}

int twcyt_alg_fromName(const char* name)
{
    if (name == nullptr || *name == '\0') return 0;
    if (strcasecmp(name, "RSA") == 0) return TWCYT_ALG_RSA;
    if (strcasecmp(name, "SM2") == 0) return TWCYT_ALG_SM2;
    return TWCYT_ERR_ALG_NAME;
}

int twcyt_cert_toBase64(const twcyt_cert* cert, char* out)
{
    if (cert == nullptr) return TCORE_ERR_PARAM;
    if (out == nullptr) return static_cast<int>(tcore_base64_textLength(cert->cbCertEncoded));
    return tcore_base64_encode(out, cert->pbCertEncoded, static_cast<int>(cert->cbCertEncoded), kBase64Capacity);
}
