// Linux stand-in for the certificate part of <wincrypt.h> (CRYPT32).
//
// Certificate contexts are laid out as the library reads them from a
// CERT_CONTEXT: the encoded certificate, and CERT_INFO with the serial
// number least significant byte first, the names as their DER blobs, the
// validity as FILETIMEs and the public key algorithm as dotted OID text.
// Names are rendered as CertNameToStrW(CERT_X500_NAME_STR) renders them on
// Windows.
#pragma once

#include <windows.h>

typedef struct _CRYPTOAPI_BLOB {
    DWORD cbData;
    BYTE* pbData;
} CRYPT_INTEGER_BLOB, *PCRYPT_INTEGER_BLOB, CERT_NAME_BLOB, *PCERT_NAME_BLOB, CRYPT_OBJID_BLOB, *PCRYPT_OBJID_BLOB,
    CRYPT_DATA_BLOB, *PCRYPT_DATA_BLOB, CRYPT_DER_BLOB, *PCRYPT_DER_BLOB;

typedef struct _CRYPT_BIT_BLOB {
    DWORD cbData;
    BYTE* pbData;
    DWORD cUnusedBits;
} CRYPT_BIT_BLOB, *PCRYPT_BIT_BLOB;

typedef struct _CRYPT_ALGORITHM_IDENTIFIER {
    LPSTR pszObjId;
    CRYPT_OBJID_BLOB Parameters;
} CRYPT_ALGORITHM_IDENTIFIER, *PCRYPT_ALGORITHM_IDENTIFIER;

typedef struct _CERT_PUBLIC_KEY_INFO {
    CRYPT_ALGORITHM_IDENTIFIER Algorithm;
    CRYPT_BIT_BLOB PublicKey;
} CERT_PUBLIC_KEY_INFO, *PCERT_PUBLIC_KEY_INFO;

typedef struct _CERT_EXTENSION {
    LPSTR pszObjId;
    BOOL fCritical;
    CRYPT_OBJID_BLOB Value;
} CERT_EXTENSION, *PCERT_EXTENSION;

typedef struct _CERT_INFO {
    DWORD dwVersion;
    CRYPT_INTEGER_BLOB SerialNumber;
    CRYPT_ALGORITHM_IDENTIFIER SignatureAlgorithm;
    CERT_NAME_BLOB Issuer;
    FILETIME NotBefore;
    FILETIME NotAfter;
    CERT_NAME_BLOB Subject;
    CERT_PUBLIC_KEY_INFO SubjectPublicKeyInfo;
    CRYPT_BIT_BLOB IssuerUniqueId;
    CRYPT_BIT_BLOB SubjectUniqueId;
    DWORD cExtension;
    PCERT_EXTENSION rgExtension;
} CERT_INFO, *PCERT_INFO;

typedef void* HCERTSTORE;

typedef struct _CERT_CONTEXT {
    DWORD dwCertEncodingType;
    BYTE* pbCertEncoded;
    DWORD cbCertEncoded;
    PCERT_INFO pCertInfo;
    HCERTSTORE hCertStore;
} CERT_CONTEXT, *PCERT_CONTEXT;
typedef const CERT_CONTEXT* PCCERT_CONTEXT;

#define X509_ASN_ENCODING 0x00000001
#define PKCS_7_ASN_ENCODING 0x00010000

#define CERT_SIMPLE_NAME_STR 1
#define CERT_OID_NAME_STR 2
#define CERT_X500_NAME_STR 3

#define CERT_FIRST_USER_PROP_ID 0x00008000
#define CERT_LAST_USER_PROP_ID 0x0000FFFF

#define szOID_KEY_USAGE "2.5.29.15"

#define CERT_DIGITAL_SIGNATURE_KEY_USAGE 0x80
#define CERT_NON_REPUDIATION_KEY_USAGE 0x40
#define CERT_KEY_ENCIPHERMENT_KEY_USAGE 0x20
#define CERT_DATA_ENCIPHERMENT_KEY_USAGE 0x10

#define E_INVALIDARG 0x80070057L
#define CRYPT_E_NOT_FOUND 0x80092004L
#define CRYPT_E_ASN1_CORRUPT 0x80093103L
#define CRYPT_E_ASN1_BADTAG 0x8009310BL

PCCERT_CONTEXT CertCreateCertificateContext(DWORD encodingType, const BYTE* encoded, DWORD encodedLen);
PCCERT_CONTEXT CertDuplicateCertificateContext(PCCERT_CONTEXT cert);
BOOL CertFreeCertificateContext(PCCERT_CONTEXT cert);

DWORD CertNameToStrW(DWORD encodingType, PCERT_NAME_BLOB name, DWORD strType, LPWSTR psz, DWORD csz);

BOOL CertGetIntendedKeyUsage(DWORD encodingType, PCERT_INFO info, BYTE* usage, DWORD usageLen);
LONG CertVerifyTimeValidity(LPFILETIME time, PCERT_INFO info);

BOOL CertCompareCertificate(DWORD encodingType, PCERT_INFO a, PCERT_INFO b);
BOOL CertCompareCertificateName(DWORD encodingType, PCERT_NAME_BLOB a, PCERT_NAME_BLOB b);
BOOL CertCompareIntegerBlob(PCRYPT_INTEGER_BLOB a, PCRYPT_INTEGER_BLOB b);

// Generic properties: the value is passed as a CRYPT_DATA_BLOB; a null
// value removes the property.
BOOL CertSetCertificateContextProperty(PCCERT_CONTEXT cert, DWORD propId, DWORD flags, const void* data);
BOOL CertGetCertificateContextProperty(PCCERT_CONTEXT cert, DWORD propId, void* data, DWORD* dataLen);

// System certificate stores: one directory per store name under
// DSC_JNA_STORES (default ${XDG_DATA_HOME:-~/.local/share}/dsc_jna/stores)
// holding certificate files (.cer, .crt, .der, .pem). As on Windows, a store
// that does not exist opens as an empty store.
typedef ULONG_PTR HCRYPTPROV_LEGACY;
HCERTSTORE CertOpenSystemStoreW(HCRYPTPROV_LEGACY prov, LPCWSTR storeName);
PCCERT_CONTEXT CertEnumCertificatesInStore(HCERTSTORE store, PCCERT_CONTEXT previous);
BOOL CertCloseStore(HCERTSTORE store, DWORD flags);

// Provider calls. A private key is the PKCS#8 PEM file beside a store's
// certificate file (same name, ".key"); a container name is the path of such
// a file. Signatures come back least significant byte first, as CryptoAPI
// returns them (for SM2 each 32-byte half of r || s on its own).
typedef ULONG_PTR HCRYPTPROV;
typedef ULONG_PTR HCRYPTKEY;
typedef ULONG_PTR HCRYPTHASH;
typedef unsigned int ALG_ID;

#define AT_KEYEXCHANGE 1
#define AT_SIGNATURE 2
#define PROV_RSA_FULL 1
#define CRYPT_ACQUIRE_CACHE_FLAG 0x00000001

#define CALG_MD5 0x00008003
#define CALG_SHA1 0x00008004
#define CALG_SHA_256 0x0000800c
#define CALG_SM3 0x0000800f

#define NTE_BAD_ALGID 0x80090008L
#define NTE_BAD_HASH 0x80090002L
#define NTE_NO_KEY 0x8009000DL
#define NTE_BAD_KEYSET 0x80090016L
#define NTE_FAIL 0x80090020L
#define CRYPT_E_NO_KEY_PROPERTY 0x8009200BL

BOOL CryptAcquireCertificatePrivateKey(PCCERT_CONTEXT cert, DWORD flags, void* reserved, HCRYPTPROV* prov,
                                       DWORD* keySpec, BOOL* callerFreeProv);
BOOL CryptAcquireContextW(HCRYPTPROV* prov, LPCWSTR container, LPCWSTR provider, DWORD provType, DWORD flags);
BOOL CryptReleaseContext(HCRYPTPROV prov, DWORD flags);
BOOL CryptGetUserKey(HCRYPTPROV prov, DWORD keySpec, HCRYPTKEY* key);
BOOL CryptDestroyKey(HCRYPTKEY key);
BOOL CryptCreateHash(HCRYPTPROV prov, ALG_ID alg, HCRYPTKEY key, DWORD flags, HCRYPTHASH* hash);
BOOL CryptHashData(HCRYPTHASH hash, const BYTE* data, DWORD dataLen, DWORD flags);
BOOL CryptSignHashW(HCRYPTHASH hash, DWORD keySpec, LPCWSTR description, DWORD flags, BYTE* signature,
                    DWORD* signatureLen);
BOOL CryptDestroyHash(HCRYPTHASH hash);
