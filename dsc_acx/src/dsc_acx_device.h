// The plugged-in tokens of every registered SKF library, addressed by label:
// listing labels, reading a device's serial number and user data, changing
// its user PIN. Each export builds a fresh list; nothing is cached.
#pragma once

#include "tcore_list.h"

#include "tcore_errors.h"
#include "dsc_acx_kind.h"

#define DSC_ACX_DEV_SEPARATOR_MAX 15

struct tutil_skf_dev;
struct tutil_skf_walkResult;

// Every device is a token reached through an SKF library: `kind` is always
// DSC_ACX_KIND_SKF, kept for the record's readers.
struct dsc_acx_device {
    char kind[16];
    char providerPath[256];
    tutil_skf_dev* device;  // one reference held
};

int dsc_acx_getSKFDevs(tcore_list** list);
// Takes the devices one library's walk found into `list` (and frees what
// it does not take): the number taken or a negative code.
int dsc_acx_takeSKFDevs(const char* providerPath, const tutil_skf_walkResult& result, tcore_list** list);
int dsc_acx_dev_enum(const char* separator, const tcore_list* list, char* out, int outLen);
int dsc_acx_dev_getSerialNumber(const tcore_list* list, const char* label, char* out, int outLen);
int dsc_acx_dev_getUserData(const tcore_list* list, const char* label, char* out, int outLen);
int dsc_acx_dev_changePin(const tcore_list* list, const char* label, const char* oldPin, const char* newPin,
                          int* retries);
