// The DER form of an SM2 signature: SEQUENCE { INTEGER r, INTEGER s }.
#pragma once

#define TASN1_SM2_VALUE_LEN 32
#define TASN1_SM2_SIG_DER_MAX 72

// r and s are 32-byte big-endian values. The integers are minimal (leading
// zero bytes dropped, one 0x00 in front of a set top bit), as strict
// verifiers require. Returns the length written to `out` (8 to 72 bytes).
int tasn1_sm2sig_toDer(const unsigned char* r, const unsigned char* s, unsigned char* out);
