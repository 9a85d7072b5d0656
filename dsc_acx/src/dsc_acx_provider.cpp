#include "dsc_acx_provider.h"

#include <cstdio>
#include <cstdint>
#include <cstring>

#include "tcore_errors.h"
#include "tcore_list.h"
#include "tcore_sources.h"
#include "tcore_trace.h"
#include "tcore_wreg.h"
#include "tutil_skf_cus.h"

namespace {

int openProviders(tcore_wreg_key* providers)
{
    int rc = tcore_wreg_openParent(DSC_ACX_SKF_PROVIDER_KEY, providers);
    if (rc < 0)
        TCORE_TRACE(TSRC_DSC_ACX, "dsc_acx_getSkfProviderNamesByWow tcore_wreg_getKeys failed %d (%d)",
                    DSC_ACX_ERR_PROVIDER_LIST, rc);
    return rc;
}

// Up to 16 subkey names of the opened Provider key.
int providerNamesOf(tcore_wreg_key providers, char names[][DSC_ACX_SLOT])
{
    tcore_list* keys = nullptr;
    tcore_wreg_getKeysOf(providers, &keys);
    int taken = 0;
    for (int i = 0; keys != nullptr && i < keys->count && taken < DSC_ACX_MAX_PROVIDERS; ++i, ++taken) {
        std::memset(names[taken], 0, DSC_ACX_SLOT);
        std::strncpy(names[taken], static_cast<const char*>(keys->items[i]), DSC_ACX_SLOT - 1);
    }
    tcore_list_free(keys);
    return taken;
}

// The library path of the provider whose key is `key` under `parent`.
int providerPathUnder(tcore_wreg_key parent, const char* key, char* path)
{
    std::memset(path, 0, DSC_ACX_SLOT);
    int rc = tcore_wreg_getValueUnder(parent, key, DSC_ACX_SKF_IMAGE_VALUE, path);
    if (rc < 0) {
        TCORE_TRACE(TSRC_DSC_ACX, "dsc_acx_getSkfProviderByWow tcore_wreg_getValue failed %d (%d)",
                    DSC_ACX_ERR_PROVIDER_PATH, rc);
        return DSC_ACX_ERR_PROVIDER_PATH;
    }
    return rc;
}

}  // namespace

int dsc_acx_getSkfProviderNamesByWow(char names[][DSC_ACX_SLOT])
{
    tcore_wreg_key providers = nullptr;
    if (openProviders(&providers) < 0) return DSC_ACX_ERR_PROVIDER_LIST;
    int taken = providerNamesOf(providers, names);
    tcore_wreg_closeParent(providers);
    return taken;
}

int dsc_acx_getSkfProviderByWow(const char* name, char* path)
{
    if (name == nullptr || name[0] == 0 || path == nullptr) return DSC_ACX_ERR_ARG;
    char key[DSC_ACX_SLOT] = {0};
    std::snprintf(key, DSC_ACX_SLOT - 1, "%s\\%s", DSC_ACX_SKF_PROVIDER_KEY, name);
    return providerPathUnder(nullptr, key, path);
}

int dsc_acx_getSkfProviders(char paths[][DSC_ACX_SLOT])
{
    // The Provider key is opened once and each provider's key under it: no
    // opening of the whole path from the root for each provider, and a name
    // as long as a key name may be still fits.
    tcore_wreg_key providers = nullptr;
    if (openProviders(&providers) < 0) return DSC_ACX_ERR_PROVIDER_LIST;
    char names[DSC_ACX_MAX_PROVIDERS][DSC_ACX_SLOT];
    int count = providerNamesOf(providers, names);
    int kept = 0;
    for (int i = 0; i < count; ++i)
        if (providerPathUnder(providers, names[i], paths[kept]) > 0) ++kept;
    tcore_wreg_closeParent(providers);
    return kept;
}

int dsc_acx_walkSkfProviders(tutil_skf_walkKind kind, const char* serialNumber, bool with360,
                             int (*take)(const char* path, const tutil_skf_walkResult& result, void* context),
                             void* context)
{
    char paths[DSC_ACX_MAX_PROVIDERS + 1][DSC_ACX_SLOT];
    int count = dsc_acx_getSkfProviders(paths);
    if (count < 0) count = 0;
    const char* distinct[DSC_ACX_MAX_PROVIDERS + 1];
    int walked = 0;
    auto known = [&](const char* path) {
        for (int j = 0; j < walked; ++j)
            if (std::strcmp(distinct[j], path) == 0) return true;
        return false;
    };
    for (int i = 0; i < count; ++i)
        if (!known(paths[i])) distinct[walked++] = paths[i];
    const int registered = walked;
    if (with360) {
        char* path360 = paths[DSC_ACX_MAX_PROVIDERS];
        std::memset(path360, 0, DSC_ACX_SLOT);
        int rc = tcore_wreg_getValue(DSC_ACX_360_PROVIDER_KEY, DSC_ACX_SKF_IMAGE_VALUE, path360);
        if (rc < 0) {
            TCORE_TRACE(TSRC_DSC_ACX, "dsc_acx_getAll360SkfProvidersByWow tcore_wreg_getValue failed %d (%d)",
                        DSC_ACX_ERR_360_PATH, rc);
        } else if (!known(path360)) {
            distinct[walked++] = path360;
        }
    }
    tutil_skf_walkResult results[DSC_ACX_MAX_PROVIDERS + 1];
    tutil_skf_walkLibraries(distinct, walked, kind, serialNumber, dsc_acx_enumTimeoutMs(), results);
    for (int i = 0; i < walked; ++i) {
        int rc = take(distinct[i], results[i], context);
        if (rc >= 0) continue;
        if (i < registered)
            TCORE_TRACE(TSRC_DSC_ACX, "find SKF certs with %s failed %d, find continue", distinct[i], rc);
        else
            TCORE_TRACE(TSRC_DSC_ACX, "find 360 SKF certs with %s failed %d, find continue", distinct[i], rc);
    }
    return walked;
}

int dsc_acx_getLogPath(char* path)
{
    char key[DSC_ACX_SLOT] = {0};
    std::snprintf(key, DSC_ACX_SLOT - 1, "%s", DSC_ACX_LOG_KEY);
    int rc = tcore_wreg_getValue(key, DSC_ACX_LOG_VALUE, path);
    return rc < 0 ? DSC_ACX_ERR_LOG_PATH : rc;
}

namespace {

// A value of DSC_ACX_SKF_KEY in milliseconds: a DWORD, or a text of digits.
int timeoutMs(const char* valueName, int fallback)
{
    unsigned value = 0;
    int rc = tcore_wreg_getNumber(DSC_ACX_SKF_KEY, valueName, &value);
    if (rc == TCORE_ERR_REG_OPEN || rc == TCORE_ERR_REG_QUERY) return fallback;
    if (rc < 0 || value > INT32_MAX) {
        TCORE_TRACE(TSRC_DSC_ACX, "%s is not a number of milliseconds (%d), %d is used", valueName, rc, fallback);
        return fallback;
    }
    return static_cast<int>(value);
}

}  // namespace

int dsc_acx_enumTimeoutMs() { return timeoutMs(DSC_ACX_ENUM_TIMEOUT_VALUE, DSC_ACX_ENUM_TIMEOUT_DEFAULT); }

int dsc_acx_callTimeoutMs() { return timeoutMs(DSC_ACX_CALL_TIMEOUT_VALUE, DSC_ACX_CALL_TIMEOUT_DEFAULT); }
