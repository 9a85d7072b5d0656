// Signing with the selected certificate: validity check, signature through
// the token or the CryptoAPI provider, PKCS#7 SignedData, base64 text.
#pragma once

#define DSC_ACX_SIGN_ATTACHED 1
#define DSC_ACX_SIGN_DETACHED 2

// The base64 SignedData in `out`: the number of characters written, or a
// negative code. dataLen <= 0 takes `data` as a NUL-terminated text.
int dsc_acx_p7sign(const unsigned char* data, int dataLen, int detached, char* out, int outSize);

// Checks the PIN stored for a selected token certificate: 0 when right or
// when there is nothing to check, -1040 when the token refuses it.
int dsc_acx_verifyPin(int* retryOut);

// What Sgn_Sign returns: a heap text (tcore_free) holding either the base64
// SignedData or a negative code in decimal. The selection is used up.
char* dsc_acx_sign(const unsigned char* data, int dataLen, int mode, const char* pin);
