// Questions about a certificate the caller holds as text (base64, with or
// without PEM armour): its subject DN, its serial number in hexadecimal, the
// first value of one subject field. Each query loads its own certificate
// context and frees it; the selected certificate is never touched.
#pragma once

#define DSC_ACX_FIELD_AREA 256
// A field name fits an 8-byte area with its NUL.
#define DSC_ACX_FIELD_NAME_MAX 7

// Subject DN (UTF-8) into a 256-byte area. >= 0 on success.
int dsc_acx_cert_getSubjectDn(const char* cert, char* area);

// Serial number as upper-case hexadecimal, most significant byte first, into
// `out` (room for the digits and a NUL needed). The number of digits; with a
// null `out` only that number.
int dsc_acx_cert_getHexSn(const char* cert, char* out, int outLen);

// First value (UTF-8) of the subject field `field` into a 256-byte area.
int dsc_acx_cert_getSubjectRdn(const char* cert, const char* field, char* area);

// The driver of Sgn_GetCertProperty: "DN", "SN" (any case) or a field name
// of up to 7 characters. DN and field texts are converted to the ANSI code
// page. 0 when the answer is in `out`; with a null `out` nothing is written
// and the answer's length (without its NUL) is returned.
int dsc_acx_getCertProperty(const char* cert, const char* field, char* out, int outLen);
