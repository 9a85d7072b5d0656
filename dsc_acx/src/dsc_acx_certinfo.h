// Certificate records: a gathered certificate turned into a flat record that
// owns its certificate context and carries the texts shown to the user and
// returned to the caller; the array of 24 candidates of one selection call;
// matching by subject DN and by subject fields.
#pragma once

#include "tcore_list.h"
#include "twcyt_cert.h"

#define DSC_ACX_CERT_ARRAY 24
#define DSC_ACX_CN_AREA 128

struct dsc_acx_cert;
struct dsc_acx_source;

struct dsc_acx_certinfo {
    char kind[16];
    char providerPath[256];
    char subjectDn[256];
    char subjectCn[DSC_ACX_CN_AREA];
    char issuerDn[256];
    char issuerCn[DSC_ACX_CN_AREA];
    char notBefore[32];
    char notAfter[32];
    char keyAlg[16];
    char certBase64[4096];
    const dsc_acx_source* source;  // that of the gathered record
    const twcyt_cert* cert;        // owned
    void* tokenObject;             // what the source retained: a tutil_skf_cert reference, null for "CSP"
};

struct dsc_acx_certArray {
    dsc_acx_certinfo slots[DSC_ACX_CERT_ARRAY];
};

int dsc_acx_certinfo_build(const dsc_acx_cert* cert, dsc_acx_certinfo* info);
int dsc_acx_certinfo_release(dsc_acx_certinfo* info);
// Moves everything `from` holds into `to` (whose own content is overwritten,
// so it must be empty) and leaves `from` zero: exactly one record owns the
// certificate afterwards.
void dsc_acx_certinfo_move(dsc_acx_certinfo* to, dsc_acx_certinfo* from);
int dsc_acx_certArray_release(dsc_acx_certArray* array);
int dsc_acx_certArray2infos(dsc_acx_certArray* array, const tcore_list* list);
// Moves slot 0 into a new heap record; null for a null array.
dsc_acx_certinfo* dsc_acx_certinfo_create(dsc_acx_certArray* array);
int dsc_acx_findCertByDn(dsc_acx_certArray* array, const tcore_list* list, const char* dn);
int dsc_acx_findCertByRdn(const char* fields, const tcore_list* list, const char* values, dsc_acx_certArray* array);
// The value of the first CN in a DN text, into a 128-byte field.
int dsc_acx_getCn(const char* dn, char* field);
// Stores the PIN for the selected certificate (tokens only).
int dsc_acx_certinfo_setPin(const char* pin);
