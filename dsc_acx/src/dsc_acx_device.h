// The plugged-in tokens of every registered SKF library, addressed by label:
// listing labels, reading a device's serial number and user data, changing
// its user PIN. Each export builds a fresh list; nothing is cached.
#pragma once

#include "tcore_list.h"

#define DSC_ACX_KIND_SKF "SKF"
#define DSC_ACX_DEV_SEPARATOR_MAX 15

#define DSC_ACX_ERR_LIB_LOAD (-1041)
#define DSC_ACX_ERR_DEV_BUFFER (-3054)
#define DSC_ACX_ERR_NO_DEVICE (-3055)
#define DSC_ACX_ERR_NO_SUCH_LABEL (-3056)
#define DSC_ACX_ERR_AMBIGUOUS_DEVICE (-3057)
#define DSC_ACX_ERR_NO_APPLICATION (-3058)
#define DSC_ACX_ERR_SEVERAL_APPLICATIONS (-3060)
#define DSC_ACX_ERR_CHANGE_PIN (-3061)
#define DSC_ACX_ERR_EMPTY_TEXT (-3062)
#define DSC_ACX_ERR_DUPLICATE_LABEL (-3064)

struct tutil_skf_dev;

struct dsc_acx_device {
    char kind[16];
    char providerPath[256];
    tutil_skf_dev* device;  // one reference held
};

int dsc_acx_getSKFDevs(tcore_list** list);
int dsc_acx_getSKFDev(const char* providerPath, tcore_list** list);
int dsc_acx_dev_enum(const char* separator, const tcore_list* list, char* out, int outLen);
int dsc_acx_dev_getSerialNumber(const tcore_list* list, const char* label, char* out, int outLen);
int dsc_acx_dev_getUserData(const tcore_list* list, const char* label, char* out, int outLen);
int dsc_acx_dev_changePin(const tcore_list* list, const char* label, const char* oldPin, const char* newPin,
                          int* retries);
