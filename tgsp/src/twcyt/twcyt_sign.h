// Signing with the private key behind a CryptoAPI certificate: a signing
// context binds the certificate to its provider and key; the byte-order
// routines turn CryptoAPI's little-endian signatures around.
#pragma once

#include "twcyt_cert.h"

#define TWCYT_SIG_AREA 1024

// Opaque above this layer (its fields are in twcyt_signctx.h).
struct twcyt_signctx;

twcyt_signctx* twcyt_signctx_new();
// Binds `cert` and its private key; the context takes a reference of its
// own (released by twcyt_signctx_free), so the caller still releases theirs.
// An SM2 key sets the SM3 digest.
int twcyt_signctx_setCert(twcyt_signctx* ctx, const twcyt_cert* cert);
// The digest by its key id: 110 (SM3), 102 (SHA-1), ...
void twcyt_signctx_setDigest(twcyt_signctx* ctx, int digestKid);
void twcyt_signctx_free(twcyt_signctx* ctx);
// Hashes `data` with the context's digest and signs it: the signature length
// (bytes in CryptoAPI's order), or a negative code. `sigOut` may be null;
// otherwise it holds TWCYT_SIG_AREA bytes.
int twcyt_signctx_sign(twcyt_signctx* ctx, const unsigned char* data, int dataLen, unsigned char* sigOut);

int twcyt_bytes_reverse(unsigned char* buf, int len);
// A 64-byte SM2 signature: each 32-byte half reversed on its own.
int twcyt_sm2sig_reverse(unsigned char* buf, int len);
