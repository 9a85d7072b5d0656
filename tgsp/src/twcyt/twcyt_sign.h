// Signing with the private key behind a CryptoAPI certificate: the signing
// context binds the certificate to a provider handle and key slot; the
// byte-order routines turn CryptoAPI's little-endian signatures around.
#pragma once

#include <windows.h>
#include <wincrypt.h>

#define TWCYT_SIG_AREA 1024

struct twcyt_signctx {
    int digestKid;  // 110 (SM3) for SM2 keys, 102 (SHA-1) otherwise
    HCRYPTPROV hProv;
    BOOL callerFreesProv;  // the context releases hProv only when it owns it
    DWORD keySpec;         // AT_KEYEXCHANGE (1) or AT_SIGNATURE (2)
    PCCERT_CONTEXT cert;   // owned once bound
};

twcyt_signctx* twcyt_signctx_new();
// Binds `cert` (taken over, not duplicated) and its private key.
int twcyt_signctx_setCert(twcyt_signctx* ctx, PCCERT_CONTEXT cert);
void twcyt_signctx_free(twcyt_signctx* ctx);
// Hashes `data` with the context's digest and signs it: the signature length
// (bytes in CryptoAPI's order), or a negative code. `sigOut` may be null;
// otherwise it holds TWCYT_SIG_AREA bytes.
int twcyt_signctx_sign(twcyt_signctx* ctx, const unsigned char* data, int dataLen, unsigned char* sigOut);

int twcyt_bytes_reverse(unsigned char* buf, int len);
// A 64-byte SM2 signature: each 32-byte half reversed on its own.
int twcyt_sm2sig_reverse(unsigned char* buf, int len);

// The CryptoAPI hash algorithm of a digest key id.
ALG_ID twcyt_calgOf(int digestKid);
