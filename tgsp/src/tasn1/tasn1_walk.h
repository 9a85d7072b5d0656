// The DER decoder: reading a length, and the child walk that finds child
// number `index` of a constructed element. Both work on the caller's bytes
// and never read outside [p, p + len).
#pragma once

#include "tasn1_item.h"

// Reads the length octets at `p` (`avail` bytes readable from `p`); returns
// how many octets were read and stores the length in `outLen`.
int tasn1_len_decode(int avail, const unsigned char* p, int* outLen);

// Child `index` (from 0) of the SEQUENCE, SET or context-specific element at
// `p`: the whole child (getTLV, isEncoded 1) or its contents (getValue,
// isEncoded 0). 0 when found.
int tasn1_sequence_decode_getTLV(const unsigned char* p, int len, int index, tasn1_item* out);
int tasn1_sequence_decode_getValue(const unsigned char* p, int len, int index, tasn1_item* out);
