// The signing certificates of the current user's system certificate stores,
// searched by name ("MY", and any further store the client names).
#pragma once

#include "tcore_list.h"

// Colon-separated store names searched by twcyt_certstore_findAll; "MY" at
// first. At most 255 characters are kept.
int twcyt_certstore_setNames(const char* names);

// Appends the signing certificates of every named store (owned contexts,
// released with twcyt_cert_free) to *retCerts, created on the first one.
// `alg` 201 or 210 keeps only RSA or SM2 keys; 0 or less keeps any.
int twcyt_certstore_findAll(int alg, tcore_list** retCerts);
int twcyt_certstore_findBySysStore(const char* storeName, int alg, tcore_list** retCerts);
