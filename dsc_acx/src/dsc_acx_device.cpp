#include "dsc_acx_device.h"

#include <cstring>

#include "dsc_acx_duplicates.h"
#include "tcore_errors.h"
#include "dsc_acx_provider.h"
#include "tcore_mem.h"
#include "tcore_sources.h"
#include "tcore_trace.h"
#include "tutil_skf_cus.h"

namespace {

void freeDevice(void* item)
{
    auto* d = static_cast<dsc_acx_device*>(item);
    tutil_skf_dev_release(d->device);
    tcore_free(d);
}

const DEVINFO& infoOf(const dsc_acx_device* d) { return *d->device->devInfo; }
// Label and serial number as the token layer read them: texts of up to 32
// characters.
const char* labelOf(const dsc_acx_device* d) { return d->device->label; }

bool sameDevice(void* earlier, void* later)
{
    auto* a = static_cast<const dsc_acx_device*>(earlier);
    auto* b = static_cast<const dsc_acx_device*>(later);
    return std::strcmp(a->device->deviceName, b->device->deviceName) == 0 &&
           std::strcmp(a->device->serialNumber, b->device->serialNumber) == 0;
}

bool hasDuplicateLabels(const tcore_list* list)
{
    for (int i = 0; i < list->count; ++i)
        for (int j = i + 1; j < list->count; ++j)
            if (std::strcmp(labelOf(static_cast<dsc_acx_device*>(list->items[i])),
                            labelOf(static_cast<dsc_acx_device*>(list->items[j]))) == 0)
                return true;
    return false;
}

int chooseDevice(const tcore_list* list, const char* label, const dsc_acx_device** chosen)
{
    if (label != nullptr && label[0] != 0) {
        for (int i = 0; i < list->count; ++i) {
            auto* d = static_cast<const dsc_acx_device*>(list->items[i]);
            if (std::strcmp(labelOf(d), label) == 0) {
                *chosen = d;
                return 0;
            }
        }
        return DSC_ACX_ERR_NO_SUCH_LABEL;
    }
    if (list->count != 1) return DSC_ACX_ERR_AMBIGUOUS_DEVICE;
    *chosen = static_cast<const dsc_acx_device*>(list->items[0]);
    return 0;
}

// Serial number and user data share everything but the field they read.
int copyDeviceText(const tcore_list* list, const char* label, char* out, int outLen,
                   const char* (*field)(const DEVINFO&, size_t*))
{
    if (list == nullptr || out == nullptr || outLen < 1) return DSC_ACX_ERR_ARG;
    if (list->count == 0) return DSC_ACX_ERR_NO_DEVICE;
    const dsc_acx_device* d = nullptr;
    int rc = chooseDevice(list, label, &d);
    if (rc < 0) return rc;
    size_t width = 0;
    const char* text = field(infoOf(d), &width);
    size_t len = strnlen(text, width);
    if (len == 0) return DSC_ACX_ERR_EMPTY_TEXT;
    if (len >= static_cast<size_t>(outLen)) return DSC_ACX_ERR_DEV_BUFFER;
    std::memset(out, 0, static_cast<size_t>(outLen));
    std::memcpy(out, text, len);
    return 0;
}

const char* serialNumberOf(const DEVINFO& info, size_t* width)
{
    *width = sizeof info.SerialNumber;
    return info.SerialNumber;
}

// The user data text lives in the Reserved area; a token may fill all of it.
const char* userDataOf(const DEVINFO& info, size_t* width)
{
    *width = sizeof info.Reserved;
    return reinterpret_cast<const char*>(info.Reserved);
}

}  // namespace

int dsc_acx_takeSKFDevs(const char* providerPath, const tutil_skf_walkResult& result, tcore_list** list)
{
    if (providerPath == nullptr || providerPath[0] == 0 || list == nullptr) {
        tcore_list_free(result.found);
        return DSC_ACX_ERR_ARG;
    }
    tcore_list* devs = result.found;
    int n = result.rc;
    if (n == TUTIL_SKF_ERR_LOAD || n == TUTIL_SKF_ERR_FUNCTION) {
        TCORE_TRACE(TSRC_DSC_ACX, "dsc_acx_getSKFDev tutil_skf_load");
        tcore_list_free(devs);
        return DSC_ACX_ERR_LIB_LOAD;
    }
    if (n < 0) {
        TCORE_TRACE(TSRC_DSC_ACX, "dsc_acx_getSKFDev (tutil_skf_findAllDev)  fail %s, %d", providerPath, n);
        tcore_list_free(devs);
        return n == TUTIL_SKF_ERR_NO_ANSWER ? n : DSC_ACX_ERR_NO_DEVICE;
    }
    int appended = 0;
    for (int i = 0; devs != nullptr && i < devs->count; ++i) {
        auto* d = static_cast<dsc_acx_device*>(tcore_zalloc(sizeof(dsc_acx_device)));
        std::strcpy(d->kind, DSC_ACX_KIND_SKF);
        std::strncpy(d->providerPath, providerPath, sizeof d->providerPath - 1);
        d->device = tutil_skf_dev_retain(static_cast<tutil_skf_dev*>(devs->items[i]));
        if (*list == nullptr) *list = tcore_list_new(freeDevice);
        tcore_list_append(*list, d);
        ++appended;
    }
    tcore_list_free(devs);
    return appended;
}

int dsc_acx_getSKFDevs(tcore_list** list)
{
    if (list == nullptr) return DSC_ACX_ERR_ARG;
    dsc_acx_walkSkfProviders(
        TUTIL_SKF_WALK_DEVICES, nullptr, false,
        [](const char* path, const tutil_skf_walkResult& result, void* l) {
            return dsc_acx_takeSKFDevs(path, result, static_cast<tcore_list**>(l));
        },
        list);
    if (*list == nullptr) return DSC_ACX_ERR_NO_DEVICE;
    dsc_acx_removeDuplicates(*list, sameDevice);
    if (hasDuplicateLabels(*list)) return DSC_ACX_ERR_DUPLICATE_LABEL;
    return 0;
}

int dsc_acx_dev_enum(const char* separator, const tcore_list* list, char* out, int outLen)
{
    if (list == nullptr || separator == nullptr || out == nullptr || outLen <= 0) return DSC_ACX_ERR_ARG;
    if (list->count == 0) return DSC_ACX_ERR_NO_DEVICE;
    std::memset(out, 0, static_cast<size_t>(outLen));
    size_t sepLen = std::strlen(separator);
    size_t used = 0;
    for (int i = 0; i < list->count; ++i) {
        const char* label = labelOf(static_cast<const dsc_acx_device*>(list->items[i]));
        size_t len = std::strlen(label);
        if (len == 0) continue;
        // Labels, separators between them and the terminator must all fit.
        size_t need = used + (used > 0 ? sepLen : 0) + len + 1;
        if (need > static_cast<size_t>(outLen)) {
            std::memset(out, 0, static_cast<size_t>(outLen));
            return DSC_ACX_ERR_DEV_BUFFER;
        }
        if (used > 0) {
            std::memcpy(out + used, separator, sepLen);
            used += sepLen;
        }
        std::memcpy(out + used, label, len);
        used += len;
    }
    return used == 0 ? DSC_ACX_ERR_EMPTY_TEXT : 0;
}

int dsc_acx_dev_getSerialNumber(const tcore_list* list, const char* label, char* out, int outLen)
{
    return copyDeviceText(list, label, out, outLen, serialNumberOf);
}

int dsc_acx_dev_getUserData(const tcore_list* list, const char* label, char* out, int outLen)
{
    return copyDeviceText(list, label, out, outLen, userDataOf);
}

int dsc_acx_dev_changePin(const tcore_list* list, const char* label, const char* oldPin, const char* newPin,
                          int* retries)
{
    if (list == nullptr || oldPin == nullptr || oldPin[0] == 0 || newPin == nullptr || newPin[0] == 0)
        return DSC_ACX_ERR_ARG;
    if (list->count == 0) return DSC_ACX_ERR_NO_DEVICE;
    const dsc_acx_device* d = nullptr;
    int rc = chooseDevice(list, label, &d);
    if (rc < 0) return rc;
    if (d->device->appCount == 0) return DSC_ACX_ERR_NO_APPLICATION;
    if (d->device->appCount > 1) return DSC_ACX_ERR_SEVERAL_APPLICATIONS;
    int localRetries = -1;
    rc = tutil_skf_changePin(d->device->providerId, d->device->deviceName, d->device->appNames[0], oldPin, newPin,
                             retries != nullptr ? retries : &localRetries, dsc_acx_callTimeoutMs());
    if (rc == TUTIL_SKF_ERR_NO_ANSWER) return rc;
    return rc < 0 ? DSC_ACX_ERR_CHANGE_PIN : rc;
}
