// Walks over the tokens of one vendor library: devices, their applications,
// the containers of each application and each container's signing
// certificate. A device, application or container that fails is traced and
// skipped ("continue"); every handle a walk opens, it closes again.
#include <cstring>

#include "tcore_mem.h"
#include "tcore_sources.h"
#include "tcore_trace.h"
#include "tutil_skf_cus.h"

namespace {

// The first attempt at a name list uses a fixed area, as it always has, so
// a token that answers it sees the same calls. A list that does not fit is
// fetched again in an area of the size the token needs, up to a limit no
// real token comes near (thousands of GUID-named containers take a few
// hundred KiB).
constexpr SKF_ULONG kListCapacity = 256;
constexpr SKF_ULONG kListLimit = 1024 * 1024;

// What SKF_EnumDev, SKF_EnumApplication and SKF_EnumContainer fill: names,
// each followed by a NUL, ended by an empty name. One guard byte behind the
// area stays NUL whatever the library writes into it.
struct NameList {
    SKF_ULONG capacity = kListCapacity;
    char* names = static_cast<char*>(tcore_zalloc(kListCapacity + 1));
    SKF_ULONG size = kListCapacity;
    NameList() = default;
    NameList(const NameList&) = delete;
    NameList& operator=(const NameList&) = delete;
    ~NameList() { tcore_free(names); }
};

// Fills `list` through `call(buffer, size)`: the fixed first attempt, then,
// when the token says the area is too small, once more at the size it
// needs. That size is the one its BUFFER_TOO_SMALL reply gives; a token
// whose reply gives none is asked with a null buffer. A list over the limit
// is traced with its size, named by `what`, and refused.
template <typename Call>
SKF_ULONG fetchNames(const char* what, NameList& list, Call call)
{
    SKF_ULONG code = call(list.names, &list.size);
    if (code != SAR_BUFFER_TOO_SMALL) return code;
    SKF_ULONG needed = list.size;
    if (needed <= list.capacity) {
        needed = 0;
        code = call(nullptr, &needed);
        if (code != SAR_OK) return code;
        if (needed <= list.capacity) return SAR_BUFFER_TOO_SMALL;
    }
    if (needed > kListLimit) {
        TCORE_TRACE(TSRC_SKF, "%s name list of %u bytes is over the limit of %u bytes", what, needed, kListLimit);
        list.size = 0;
        return SAR_BUFFER_TOO_SMALL;
    }
    tcore_free(list.names);
    list.capacity = needed;
    list.names = static_cast<char*>(tcore_zalloc(static_cast<size_t>(needed) + 1));
    list.size = needed;
    return call(list.names, &list.size);
}

// Calls `handle` for each name. False, with nothing handled, when the list
// is malformed: a size beyond the area, or a name whose NUL is not in it.
template <typename Handle>
bool forEachName(const NameList& list, Handle handle)
{
    const size_t capacity = list.capacity;
    if (list.size > capacity) return false;
    // Check the whole walk first, so a bad list does not half-happen.
    for (int pass = 0; pass < 2; ++pass) {
        long long remaining = list.size;
        size_t pos = 0;
        while (pos < capacity && list.names[pos] != 0) {
            size_t len = strnlen(list.names + pos, capacity - pos);
            if (pos + len >= capacity) return false;
            if (pass == 1) handle(list.names + pos);
            remaining -= static_cast<long long>(len) + 1;
            pos += len + 1;
            if (remaining <= 0) break;
        }
    }
    return true;
}

// A DEVINFO text field read up to its first NUL within its 32 bytes: a
// field filled to the last byte is a 32-character value.
void fieldText(char* out, const char* field)
{
    std::memset(out, 0, TUTIL_SKF_DEVINFO_TEXT);
    std::memcpy(out, field, strnlen(field, TUTIL_SKF_DEVINFO_TEXT - 1));
}

void copyName(char* to, const char* from)
{
    std::memset(to, 0, TUTIL_SKF_NAME);
    std::strncpy(to, from, TUTIL_SKF_NAME - 1);
}

template <typename Record>
void appendTo(tcore_list** list, Record* record, tcore_list_freeItem release)
{
    if (*list == nullptr) *list = tcore_list_new(release);
    tcore_list_append(*list, record);
}

// Room for device information records larger than the standard's 294 bytes,
// which some vendors write.
constexpr size_t kDevInfoArea = 1024;

DEVINFO* newDevInfo() { return static_cast<DEVINFO*>(tcore_zalloc(kDevInfoArea)); }

// The device's information; traced and false when the token refuses it.
bool readDevInfo(tutil_skf_provider* p, DEVHANDLE hDev, const char* deviceName, DEVINFO* info)
{
    SKF_ULONG code = p->skf_getDevInfo(hDev, info);
    if (code != SAR_OK) {
        TCORE_TRACE(TSRC_SKF, "skf_getDevInfo  %s failed %8x", deviceName, code);
        return false;
    }
    return true;
}

void disconnect(tutil_skf_provider* p, DEVHANDLE hDev, const char* deviceName)
{
    SKF_ULONG code = p->skf_disConnectDev(hDev);
    if (code != SAR_OK) TCORE_TRACE(TSRC_SKF, "skf_disConnectDev %s failed %8x, continue", deviceName, code);
}

SKF_ULONG enumApplications(tutil_skf_provider* p, DEVHANDLE hDev, NameList& apps)
{
    return fetchNames("skf_enumApplication", apps,
                      [&](char* names, SKF_ULONG* size) { return p->skf_enumApplication(hDev, names, size); });
}

bool enumDevices(tutil_skf_provider* p, NameList& devices)
{
    SKF_ULONG code = fetchNames("skf_enumDev", devices,
                                [&](char* names, SKF_ULONG* size) { return p->skf_enumDev(TRUE, names, size); });
    if (code != SAR_OK) {
        TCORE_TRACE(TSRC_SKF, "skf_enumDev failed %8x", code);
        return false;
    }
    if (!forEachName(devices, [](const char*) {})) {
        TCORE_TRACE(TSRC_SKF, "skf_enumDev gave a malformed name list (size %u)", devices.size);
        return false;
    }
    return true;
}

// Connects each present device in turn and hands it to `visit`.
template <typename Visit>
int forEachDevice(tutil_skf_provider* p, Visit visit)
{
    NameList devices;
    if (!enumDevices(p, devices)) return TUTIL_SKF_ERR_ENUM_DEV;
    int total = 0;
    forEachName(devices, [&](const char* deviceName) {
        DEVHANDLE hDev = nullptr;
        SKF_ULONG code = p->skf_connectDev(const_cast<char*>(deviceName), &hDev);
        if (code != SAR_OK) {
            TCORE_TRACE(TSRC_SKF, "skf_connectDev %s failed %8x, continue", deviceName, code);
            return;
        }
        total += visit(hDev, deviceName);
        disconnect(p, hDev, deviceName);
    });
    return total;
}

int devCertsOrTrace(tutil_skf_provider* p, DEVHANDLE hDev, const char* deviceName, tcore_list** list)
{
    int n = tutil_skf_findDevCerts(p, hDev, deviceName, list);
    if (n < 0) {
        TCORE_TRACE(TSRC_SKF, "tutil_skf_findDevCerts  %s failed %d, continue", deviceName, n);
        return 0;
    }
    return n;
}

}  // namespace

int tutil_skf_findAllCerts(int providerId, tcore_list** list)
{
    tutil_skf_provider* p = tutil_skf_findProviderById(providerId);
    if (p == nullptr) return TUTIL_SKF_ERR_NO_PROVIDER;
    return forEachDevice(
        p, [&](DEVHANDLE hDev, const char* deviceName) { return devCertsOrTrace(p, hDev, deviceName, list); });
}

int tutil_skf_findAllCertsByDevSn(int providerId, const char* serialNumber, tcore_list** list)
{
    tutil_skf_provider* p = tutil_skf_findProviderById(providerId);
    if (p == nullptr) return TUTIL_SKF_ERR_NO_PROVIDER;
    const char* wanted = serialNumber != nullptr ? serialNumber : "";
    return forEachDevice(p, [&](DEVHANDLE hDev, const char* deviceName) {
        DEVINFO* info = newDevInfo();
        int found = 0;
        if (readDevInfo(p, hDev, deviceName, info)) {
            char serial[TUTIL_SKF_DEVINFO_TEXT];
            fieldText(serial, info->SerialNumber);
            if (std::strcmp(wanted, serial) != 0) {
                TCORE_TRACE(TSRC_SKF, "serialNumber: %s,devinfo.SerialNumber: %s no match", wanted, serial);
            } else {
                found = devCertsOrTrace(p, hDev, deviceName, list);
            }
        }
        tcore_free(info);
        return found;
    });
}

int tutil_skf_findDevCerts(tutil_skf_provider* p, DEVHANDLE hDev, const char* deviceName, tcore_list** list)
{
    NameList apps;
    SKF_ULONG code = enumApplications(p, hDev, apps);
    if (code != SAR_OK) {
        TCORE_TRACE(TSRC_SKF, "skf_enumApplication failed %8x", code);
        return TUTIL_SKF_ERR_ENUM_APP;
    }
    int total = 0;
    bool wellFormed = forEachName(apps, [&](const char* appName) {
        HAPPLICATION hApp = nullptr;
        SKF_ULONG rc = p->skf_openApplication(hDev, const_cast<char*>(appName), &hApp);
        if (rc != SAR_OK) {
            TCORE_TRACE(TSRC_SKF, "skf_openApplication %s failed %8x, continue", appName, rc);
            return;
        }
        int n = tutil_skf_findAppCerts(p, hApp, deviceName, appName, list);
        if (n < 0)
            TCORE_TRACE(TSRC_SKF, "tutil_skf_findAppCerts  %s failed %d, continue", appName, n);
        else
            total += n;
        rc = p->skf_closeApplication(hApp);
        if (rc != SAR_OK) TCORE_TRACE(TSRC_SKF, "skf_closeApplication %s failed %8x, continue", appName, rc);
    });
    if (!wellFormed) {
        TCORE_TRACE(TSRC_SKF, "skf_enumApplication gave a malformed name list (size %u)", apps.size);
        return TUTIL_SKF_ERR_ENUM_APP;
    }
    return total;
}

int tutil_skf_findAppCerts(tutil_skf_provider* p, HAPPLICATION hApp, const char* deviceName,
                           const char* applicationName, tcore_list** list)
{
    NameList containers;
    SKF_ULONG code = fetchNames("skf_enumContainer", containers,
                                [&](char* names, SKF_ULONG* size) { return p->skf_enumContainer(hApp, names, size); });
    if (code != SAR_OK) {
        TCORE_TRACE(TSRC_SKF, "skf_enumContainer failed %8x", code);
        return TUTIL_SKF_ERR_ENUM_CONTAINER;
    }
    int count = 0;
    bool wellFormed = forEachName(containers, [&](const char* name) {
        HCONTAINER hContainer = nullptr;
        SKF_ULONG rc = p->skf_openContainer(hApp, const_cast<char*>(name), &hContainer);
        if (rc != SAR_OK) {
            TCORE_TRACE(TSRC_SKF, "skf_openContainer %s failed %8x, continue", name, rc);
            return;
        }
        SKF_ULONG type = 0;
        rc = p->skf_getContainerType(hContainer, &type);
        if (rc != SAR_OK) {
            TCORE_TRACE(TSRC_SKF, "skf_getContainerType %s failed %8x, continue", name, rc);
        } else {
            unsigned char der[TUTIL_SKF_CERT_MAX];
            SKF_ULONG len = TUTIL_SKF_CERT_MAX;
            rc = p->skf_exportCertificate(hContainer, TRUE, der, &len);
            if (rc != SAR_OK) {
                TCORE_TRACE(TSRC_SKF, "skf_exportCertificate sign %s failed %8x, continue", name, rc);
            } else if (len == 0 || len > TUTIL_SKF_CERT_MAX) {
                TCORE_TRACE(TSRC_SKF, "skf_exportCertificate sign %s gave length %u, continue", name, len);
            } else {
                auto* cert = static_cast<tutil_skf_cert*>(tcore_zalloc(sizeof(tutil_skf_cert)));
                cert->certificate = static_cast<unsigned char*>(tcore_zalloc(len));
                std::memcpy(cert->certificate, der, len);
                cert->certificateLen = static_cast<int>(len);
                cert->containerType = type;
                cert->providerId = p->id;
                copyName(cert->deviceName, deviceName);
                copyName(cert->applicationName, applicationName);
                copyName(cert->containerName, name);
                appendTo(list, cert, tutil_skf_cert_release);
                ++count;
            }
        }
        rc = p->skf_closeContainer(hContainer);
        if (rc != SAR_OK) TCORE_TRACE(TSRC_SKF, "skf_closeContainer %s failed %8x, continue", name, rc);
    });
    if (!wellFormed) {
        TCORE_TRACE(TSRC_SKF, "skf_enumContainer gave a malformed name list (size %u)", containers.size);
        return TUTIL_SKF_ERR_ENUM_CONTAINER;
    }
    return count;
}

int tutil_skf_findAllDev(int providerId, tcore_list** list)
{
    tutil_skf_provider* p = tutil_skf_findProviderById(providerId);
    if (p == nullptr) return TUTIL_SKF_ERR_NO_PROVIDER;
    return forEachDevice(p, [&](DEVHANDLE hDev, const char* deviceName) {
        DEVINFO* info = newDevInfo();
        if (!readDevInfo(p, hDev, deviceName, info)) {
            tcore_free(info);
            return 0;
        }
        NameList apps;
        SKF_ULONG code = enumApplications(p, hDev, apps);
        auto* dev = static_cast<tutil_skf_dev*>(tcore_zalloc(sizeof(tutil_skf_dev)));
        bool wellFormed = code == SAR_OK && forEachName(apps, [&](const char* appName) {
                              if (dev->appCount < TUTIL_SKF_MAX_APPS) copyName(dev->appNames[dev->appCount++], appName);
                          });
        if (!wellFormed) {
            TCORE_TRACE(TSRC_SKF, "skf_enumApplication %s failed %8x", deviceName, code);
            tcore_free(info);
            tcore_free(dev);
            return 0;
        }
        dev->providerId = providerId;
        copyName(dev->deviceName, deviceName);
        fieldText(dev->label, info->Label);
        fieldText(dev->serialNumber, info->SerialNumber);
        dev->devInfo = info;
        appendTo(list, dev, tutil_skf_dev_release);
        return 1;
    });
}
