// The DER encoder: items (one element, or pre-encoded bytes), collections
// encoded as SEQUENCE or SET, and the static table of AlgorithmIdentifier
// templates. Every structure is assembled by code from these pieces; sizes
// are known before anything is written, so each encoding is written once
// into a buffer of the exact size.
#pragma once

#include <cstdint>

// Template key ids. 201 and 210 double as the key algorithm codes of the
// whole library.
#define TASN1_KID_MD5 101
#define TASN1_KID_SHA1 102
#define TASN1_KID_SHA256 103
#define TASN1_KID_SHA512 104
#define TASN1_KID_SHA384 105
#define TASN1_KID_SM3 110
#define TASN1_KID_RSA 201
#define TASN1_KID_SM2 210
#define TASN1_KID_SM2_SIGN 211
#define TASN1_KID_MD5_RSA 601
#define TASN1_KID_SHA1_RSA 602
#define TASN1_KID_SHA256_RSA 603
#define TASN1_KID_SHA384_RSA 604
#define TASN1_KID_SHA512_RSA 605

// Tagging modes.
#define TASN1_TAG_PLAIN 0
#define TASN1_TAG_EXPLICIT 1
#define TASN1_TAG_IMPLICIT 2

#define TASN1_INTEGER 0x02
#define TASN1_OCTET_STRING 0x04
#define TASN1_OID 0x06
#define TASN1_SEQUENCE 0x30
#define TASN1_SET 0x31
#define TASN1_CONTEXT 0xA0

struct tasn1_item {
    const unsigned char* data;  // contents, or a whole element when isEncoded
    int32_t len;
    int32_t isEncoded;  // 1: data is a complete DER element
    int32_t tagMode;    // TASN1_TAG_*
    uint8_t ctxTag;     // context tag number n, written as 0xA0 + n
    uint8_t tag;        // identifier octet when not pre-encoded
};

struct tasn1_seq {
    tasn1_item** items;  // owned copies of the appended records, not of their bytes
    int32_t capacity;
    int32_t count;
    int32_t contentLen;  // cached encoded size of the items, 0 until asked for
    int32_t isSet;
};

// DER length octets of `value`; their count. With a null `out` or cap <= 0
// only the count. -10003 when cap is too small, -10002 for a negative value.
int tasn1_len_encode(unsigned char* out, int cap, int value);

int tasn1_item_size(const tasn1_item* item);
int tasn1_item_encode(const tasn1_item* item, unsigned char* buf, int cap);
// Releases the item's bytes and the record (items made by tasn1_seq_toItem).
void tasn1_item_free(tasn1_item* item);

tasn1_seq* tasn1_seq_new(int isSet);
int tasn1_seq_add(tasn1_seq* seq, const tasn1_item* item);
int tasn1_seq_size(tasn1_seq* seq);
int tasn1_seq_encode(tasn1_seq* seq, unsigned char* buf, int cap);
// A new pre-encoded item holding the collection's encoding, or null.
tasn1_item* tasn1_seq_toItem(tasn1_seq* seq);
void tasn1_seq_free(tasn1_seq* seq);

// The static template of that key id, or null.
const tasn1_item* tasn1_item_getByKid(int kid);
