// Certificates as platform certificate contexts: loading, names, serial
// number, validity, key usage and algorithm, base64, and library-owned
// context properties. Whoever gets a context from twcyt_cert_load or
// twcyt_cert_dup owns one reference and releases it with twcyt_cert_free.
// Texts from certificates are UTF-8.
#pragma once

#include "tcore_list.h"

// The platform's certificate context (CERT_CONTEXT), opaque here: callers
// above this layer reach it only through these functions, so they build
// without the platform headers.
struct _CERT_CONTEXT;
typedef struct _CERT_CONTEXT twcyt_cert;

// Key algorithm codes, shared with the ASN.1 template ids.
#define TWCYT_ALG_RSA 201
#define TWCYT_ALG_SM2 210

// Library-owned properties: property n has id TWCYT_PROP_BASE + n.
#define TWCYT_PROP_BASE 0x8000
#define TWCYT_PROP_LAST 0xFFFF
#define TWCYT_PROP_CSP_NAME 0
#define TWCYT_PROP_CONTAINER 1

// Fixed text areas.
#define TWCYT_FIELD_AREA 256
#define TWCYT_PROP_AREA 256
#define TWCYT_VALIDITY_AREA 31

// DER, bare base64 or PEM; null when the bytes are no certificate.
const twcyt_cert* twcyt_cert_load(const unsigned char* bytes, int len);
void twcyt_cert_free(const twcyt_cert* cert);
// Another reference to the same context (null for null).
const twcyt_cert* twcyt_cert_dup(const twcyt_cert* cert);
// The DER encoding held by the context, and its length in *len; null (and
// 0) for null.
const unsigned char* twcyt_cert_der(const twcyt_cert* cert, int* len);
// 1 when both are the same certificate (same issuer and serial number), 0
// when not or when either is null.
int twcyt_cert_isSame(const twcyt_cert* a, const twcyt_cert* b);
// A number that certificates twcyt_cert_isSame takes for the same share:
// certificates of different numbers are never the same.
unsigned long twcyt_cert_sameKey(const twcyt_cert* cert);

// Serial number bytes as the platform holds them (least significant first).
int twcyt_cert_getSnData(const twcyt_cert* cert, unsigned char* out, int cap);
// Validity as 14 digits "YYYYMMDDhhmmss" (UTC) into 31-byte areas.
int twcyt_cert_getValidity(const twcyt_cert* cert, char* notBefore, char* notAfter);
// 0 within the validity period now, TWCYT_ERR_NOT_YET_VALID before it,
// TWCYT_ERR_EXPIRED after it.
int twcyt_cert_checkValidity(const twcyt_cert* cert);

int twcyt_cert_isSignCert(const twcyt_cert* cert);
int twcyt_cert_isEncCert(const twcyt_cert* cert);
int twcyt_cert_isRsa(const twcyt_cert* cert);
int twcyt_cert_isSm2(const twcyt_cert* cert);
int twcyt_cert_getKeyAlg(const twcyt_cert* cert);
int twcyt_alg_fromName(const char* name);

// Base64 of the DER into `out` (at most 4095 characters); with a null
// `out` the length it needs.
int twcyt_cert_toBase64(const twcyt_cert* cert, char* out);

// Library-owned properties: NUL-terminated texts stored with their NUL.
int twcyt_cert_countProps(const twcyt_cert* cert);
int twcyt_cert_getProp(const twcyt_cert* cert, int index, char* out);
int twcyt_cert_setProp(const twcyt_cert* cert, int index, const char* text);

// Names. DN texts are the platform's X.500 form in UTF-8: the subject's and
// the issuer's, into `cap` bytes; the length with its NUL.
int twcyt_cert_getDn(const twcyt_cert* cert, char* out, int cap);
int twcyt_cert_getIssuerDn(const twcyt_cert* cert, char* out, int cap);
int twcyt_cert_getRdns(const twcyt_cert* cert, const char* field, tcore_list** values);
int twcyt_cert_getRdn(const char* field, const twcyt_cert* cert, char* out);
int twcyt_cert_hasRdnValue(const char* field, const twcyt_cert* cert, const char* text);
