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
    ok &= bind(module, "Sgn_Dev_Enum", lib.Sgn_Dev_Enum, error);
    ok &= bind(module, "Sgn_Dev_GetSerialNumber", lib.Sgn_Dev_GetSerialNumber, error);
    ok &= bind(module, "Sgn_Dev_GetUserData", lib.Sgn_Dev_GetUserData, error);
    ok &= bind(module, "Sgn_Dev_ChangePin_ex", lib.Sgn_Dev_ChangePin_ex, error);
    ok &= bind(module, "Sgn_SelectCertByKeySn", lib.Sgn_SelectCertByKeySn, error);
    ok &= bind(module, "Sgn_SelectCertByDn", lib.Sgn_SelectCertByDn, error);
    ok &= bind(module, "Sgn_Sign", lib.Sgn_Sign, error);
    ok &= bind(module, "Sgn_GetCertProperty", lib.Sgn_GetCertProperty, error);
    ok &= bind(module, "Sgn_SetLog", lib.Sgn_SetLog, error);
    ok &= bind(module, "Sgn_CloseLog", lib.Sgn_CloseLog, error);
    ok &= bind(module, "Sgn_Free", lib.Sgn_Free, error);
    return ok;
}
