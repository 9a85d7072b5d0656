// Gathering signing certificates from every source, in a fixed order: the
// registered SKF token libraries, the "360" SKF library, then the Windows
// certificate stores. A failing source is traced and skipped; the same
// certificate seen twice is kept once, from the first source.
#pragma once

#include "dsc_acx_source.h"
#include "tcore_list.h"
#include "twcyt_cert.h"

#define DSC_ACX_STORE_NAMES "MY:ZYPORA"
// Only SM2 certificates (and those of an unknown key type) are gathered,
// except when a token is addressed by its serial number.
#define DSC_ACX_ALG_PREFERENCE "SM2"

struct dsc_acx_cert {
    const dsc_acx_source* source;  // chosen when the record is created
    char kind[16];                 // the source's kind text: "SKF" or "CSP"
    char providerPath[256];        // the SKF library; empty for "CSP"
    char keyAlg[16];               // "RSA", "SM2" or empty
    void* handle;                  // "CSP": an owned certificate context; "SKF": a tutil_skf_cert reference
    // "SKF": the token's certificate decoded once when gathered, owned; null
    // when its bytes make no certificate. The duplicate check compares every
    // pair of records and the candidates are built from the same records, so
    // decoding for each of those uses would multiply the work.
    const twcyt_cert* tokenCert;
};

// The record's certificate as a context held by the record (not to be
// freed); null when it has none.
const twcyt_cert* dsc_acx_cert_context(const dsc_acx_cert* c);

int dsc_acx_getAllSignCerts(tcore_list** list);
int dsc_acx_getSignCertByDevSn(tcore_list** list, const char* deviceSn);
int dsc_acx_getCSPSignCert(tcore_list** list);
