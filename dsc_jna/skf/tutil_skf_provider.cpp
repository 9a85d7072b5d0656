// Vendor libraries: loaded once per path and kept until the module itself
// is unloaded, so every handle a token gave out stays backed by its code.
#include <windows.h>

#include <cstring>
#include <mutex>

#include "tcore_errors.h"
#include "tcore_list.h"
#include "tcore_mem.h"
#include "tcore_sources.h"
#include "tcore_trace.h"
#include "tcore_wreg.h"
#include "tutil_skf_bounded.h"
#include "tutil_skf_cus.h"

namespace {

// A library is loaded, and the list read, on a worker thread as well as on
// the caller's: a late walk may still load or look up while the next call
// runs. The records themselves never move or change once listed.
std::mutex providersLock;
tcore_list* providers = nullptr;
int nextProviderId = TUTIL_SKF_FIRST_PROVIDER_ID;

// The first listed library `matches` accepts, looked up under the lock.
template <class Match>
tutil_skf_provider* find(Match matches)
{
    std::lock_guard<std::mutex> hold(providersLock);
    for (int i = 0; providers != nullptr && i < providers->count; ++i) {
        auto* p = static_cast<tutil_skf_provider*>(providers->items[i]);
        if (matches(p)) return p;
    }
    return nullptr;
}

struct FunctionEntry {
    const char* name;
    void (*store)(tutil_skf_provider* provider, FARPROC address);
};

// Each entry stores the address with the type of its own prototype (through
// the generic function type, which converts to any other without warning).
const FunctionEntry kFunctions[] = {
#define TUTIL_SKF_ENTRY(member, name)                                                                                  \
    {#name, [](tutil_skf_provider* p, FARPROC address) {                                                               \
         p->member = reinterpret_cast<decltype(p->member)>(reinterpret_cast<void (*)(void)>(address));                 \
     }},
    TUTIL_SKF_FUNCTIONS(TUTIL_SKF_ENTRY)
#undef TUTIL_SKF_ENTRY
};

}  // namespace

tutil_skf_provider* tutil_skf_findProviderById(int id)
{
    return find([id](const tutil_skf_provider* p) { return p->id == id; });
}

tutil_skf_provider* tutil_skf_findProviderByPath(const char* path)
{
    if (path == nullptr) return nullptr;
    return find([path](const tutil_skf_provider* p) { return std::strcmp(p->path, path) == 0; });
}

int tutil_skf_load(const char* path)
{
    if (path == nullptr || path[0] == 0) return TCORE_ERR_PARAM;
    // Compared as kept: a path longer than the record holds is found again
    // by its first 255 bytes.
    char kept[TUTIL_SKF_NAME] = {0};
    std::strncpy(kept, path, TUTIL_SKF_NAME - 1);
    if (tutil_skf_provider* loaded = tutil_skf_findProviderByPath(kept)) return loaded->id;

    auto module = static_cast<HMODULE>(tcore_loadLibrary(path));
    if (module == nullptr) {
        TCORE_TRACE_SYS(TSRC_SKF, "LoadLibrary");
        TCORE_TRACE(TSRC_SKF, "tutil_skf_load %s failed", kept);
        return TUTIL_SKF_ERR_LOAD;
    }
    auto* provider = static_cast<tutil_skf_provider*>(tcore_zalloc(sizeof(tutil_skf_provider)));
    std::memcpy(provider->path, kept, sizeof kept);
    provider->module = module;
    int number = 1;
    for (const auto& f : kFunctions) {
        FARPROC address = GetProcAddress(module, f.name);
        if (address == nullptr) {
            TCORE_TRACE(TSRC_SKF, "get func (No.%d) addr failed ", number);
            FreeLibrary(module);
            tcore_free(provider);
            return TUTIL_SKF_ERR_FUNCTION;
        }
        f.store(provider, address);
        ++number;
    }
    std::lock_guard<std::mutex> hold(providersLock);
    if (providers == nullptr) providers = tcore_list_new(tcore_free);
    provider->id = nextProviderId++;
    tcore_list_append(providers, provider);
    return provider->id;
}

void tutil_skf_unloadAll()
{
    std::lock_guard<std::mutex> hold(providersLock);
    if (providers == nullptr) return;
    for (int i = 0; i < providers->count; ++i) {
        auto* p = static_cast<tutil_skf_provider*>(providers->items[i]);
        // A call that never answered may still run in it: its code and its
        // record stay for the rest of the process.
        if (tutil_skf_isBusy(p->path)) {
            providers->items[i] = nullptr;
            continue;
        }
        FreeLibrary(static_cast<HMODULE>(p->module));
    }
    tcore_list_free(providers);
    providers = nullptr;
    nextProviderId = TUTIL_SKF_FIRST_PROVIDER_ID;
}
