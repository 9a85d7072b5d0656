// The signing context's fields, in the platform's types, for this layer's
// signing module and the tests that look inside it.
#pragma once

#include <windows.h>
#include <wincrypt.h>

#include "twcyt_sign.h"

struct twcyt_signctx {
    int digestKid;  // 110 (SM3) for SM2 keys, 102 (SHA-1) otherwise
    HCRYPTPROV hProv;
    BOOL callerFreesProv;  // the context releases hProv only when it owns it
    DWORD keySpec;         // AT_KEYEXCHANGE (1) or AT_SIGNATURE (2)
    PCCERT_CONTEXT cert;   // owned once bound
};

// The CryptoAPI hash algorithm of a digest key id.
ALG_ID twcyt_calgOf(int digestKid);
