// Where a certificate lives, as the operations the rest of the layer needs
// from it: a token reached through an SKF library, or the Windows
// certificate stores. Gathering picks the table once, when it creates a
// record; everything after goes through the record's table rather than
// comparing source names.
#pragma once

#include "twcyt_cert.h"

struct dsc_acx_cert;
struct dsc_acx_certinfo;

struct dsc_acx_source {
    // "SKF" or "CSP": the kind text records carry, log lines show and the
    // exports report.
    const char* kind;
    // The certificate context of a gathered record, held by the record (not
    // to be freed); null when it has none.
    const twcyt_cert* (*context)(const dsc_acx_cert* gathered);
    // What a candidate built from a gathered handle holds of it beside its
    // own certificate context: another reference to the token's certificate,
    // nothing (null) for the stores, whose context is all a candidate signs
    // through.
    void* (*retain)(void* handle);
    // Gives up one reference to a gathered handle or to what retain gave.
    void (*release)(void* handle);
    // Keeps the PIN the next check and signature present; a source without
    // PINs ignores it.
    void (*keepPin)(dsc_acx_certinfo* record, const char* pin);
    // 0 when the kept PIN is right or there is nothing to check, -1040 when
    // it is refused.
    int (*checkPin)(dsc_acx_certinfo* record, int* retryOut);
    // Signs `data` with the record's key: the signature length, in the form
    // the SignedData carries, or a negative code. `signature` holds
    // TWCYT_SIG_AREA bytes. The record may give its certificate context up
    // to the signing.
    int (*sign)(dsc_acx_certinfo* record, const unsigned char* data, int dataLen, int digestKid,
                unsigned char* signature);
};

extern const dsc_acx_source dsc_acx_sourceToken;
extern const dsc_acx_source dsc_acx_sourceStore;
