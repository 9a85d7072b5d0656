// The exported functions: thin drivers that check their arguments, call the
// layers below and hand results back. Each runs whole inside dsc_jna_export,
// under the library's one lock and its catch-all.
#include "dsc_jna.h"
#include "dsc_jna_entry.h"

#include <cstring>

#include "dsc_acx_certprop.h"
#include "dsc_acx_device.h"
#include "tcore_errors.h"
#include "dsc_acx_log.h"
#include "dsc_acx_select.h"
#include "dsc_acx_sign.h"
#include "tcore_mem.h"

namespace {

// Every device call works on a fresh list of the plugged-in tokens.
struct DeviceList {
    tcore_list* list = nullptr;
    int built = dsc_acx_getSKFDevs(&list);
    ~DeviceList() { tcore_list_free(list); }
};

}  // namespace

extern "C" {

int Sgn_Dev_Enum(const char* separator, char* out, int outLen)
{
    return dsc_jna_export([&] {
        if (out == nullptr || outLen <= 0) return DSC_ACX_ERR_ARG;
        // Never cut silently: a cut separator would join labels wrongly.
        if (separator != nullptr && std::strlen(separator) > DSC_ACX_DEV_SEPARATOR_MAX) return DSC_ACX_ERR_ARG;
        char sep[DSC_ACX_DEV_SEPARATOR_MAX + 1] = {0};
        std::strcpy(sep, separator != nullptr && separator[0] != 0 ? separator : "|");
        DeviceList devices;
        if (devices.built < 0) return devices.built;
        return dsc_acx_dev_enum(sep, devices.list, out, outLen);
    });
}

int Sgn_Dev_GetSerialNumber(const char* label, char* out, int outLen)
{
    return dsc_jna_export([&] {
        if (label == nullptr || outLen <= 0) return DSC_ACX_ERR_ARG;
        DeviceList devices;
        if (devices.built < 0) return devices.built;
        return dsc_acx_dev_getSerialNumber(devices.list, label, out, outLen);
    });
}

int Sgn_Dev_GetUserData(const char* label, char* out, int outLen)
{
    return dsc_jna_export([&] {
        if (out == nullptr || outLen <= 0) return DSC_ACX_ERR_ARG;
        DeviceList devices;
        if (devices.built < 0) return devices.built;
        return dsc_acx_dev_getUserData(devices.list, label, out, outLen);
    });
}

int Sgn_Dev_ChangePin_ex(const char* label, const char* oldPin, const char* newPin)
{
    return dsc_jna_export([&] {
        DeviceList devices;
        if (devices.built < 0) return devices.built;
        // The export reports no retry count.
        return dsc_acx_dev_changePin(devices.list, label, oldPin, newPin, nullptr);
    });
}

int Sgn_GetCertProperty(const char* cert, const char* field, char* out, int outLen)
{
    return dsc_jna_export([&] { return dsc_acx_getCertProperty(cert, field, out, outLen); });
}

int Sgn_SelectCertByKeySn(const char* deviceSn, char* outCert, int outLen)
{
    return dsc_jna_export([&] { return dsc_acx_selectCertByKeySn(deviceSn, outCert, outLen); });
}

int Sgn_SelectCertByDn(const char* field, const char* value, char* outCert)
{
    return dsc_jna_export([&] { return dsc_acx_selectCertByDn(field, value, outCert); });
}

char* Sgn_Sign(const unsigned char* data, int dataLen, int mode, const char* pin)
{
    return dsc_jna_export([&] { return dsc_acx_sign(data, dataLen, mode, pin); });
}

void Sgn_Free(void* p)
{
    // Giving a text back touches nothing the lock guards, so it is done even
    // from inside a token library call, where other exports are refused.
    if (dsc_jna_heldByThisThread()) {
        tcore_free(p);
        return;
    }
    dsc_jna_export([&] { tcore_free(p); });
}

int Sgn_SetLog(const char* path)
{
    return dsc_jna_export([&] { return dsc_acx_setLog(path); });
}

int Sgn_CloseLog(void)
{
    return dsc_jna_export([&] { return dsc_acx_closeLog(); });
}
}
