#include "library.h"

namespace {

template <typename F>
bool bind(void* module, const char* name, F& slot, std::string& error)
{
    void* p = dsc_platform_symbol(module, name);
    if (!p) {
        error += (error.empty() ? "missing export: " : ", ") + std::string(name);
        return false;
    }
    slot = reinterpret_cast<F>(p);
    return true;
}

}  // namespace

bool dsc_library_load(DscLibrary& lib, std::string& error)
{
    void* module = dsc_platform_open(error);
    if (!module) return false;
    lib.module = module;
    // Every name is tried so that one message lists all that are missing.
    bool ok = true;
#define DSC_LIBRARY_BIND(name) ok &= bind(module, #name, lib.name, error);
    DSC_JNA_EXPORTS(DSC_LIBRARY_BIND)
#undef DSC_LIBRARY_BIND
    return ok;
}
