#include "skf_module.h"

bool SkfModule::load(const std::string& path)
{
    unload();
    library_ = open_library(path);
    if (!library_) return false;
#define SOFTSKF_RESOLVE(name)                                                                                          \
    name = reinterpret_cast<decltype(name)>(find_symbol(#name));                                                       \
    if (!name) {                                                                                                       \
        error_ = "missing export " #name " in " + path;                                                                \
        unload();                                                                                                      \
        return false;                                                                                                  \
    }
    SOFTSKF_FUNCTIONS(SOFTSKF_RESOLVE)
#undef SOFTSKF_RESOLVE
    softskf_callStats = reinterpret_cast<softskf_callStats_fn>(find_symbol("softskf_callStats"));
    softskf_resetCallStats = reinterpret_cast<softskf_resetCallStats_fn>(find_symbol("softskf_resetCallStats"));
    return true;
}

void SkfModule::unload()
{
#define SOFTSKF_CLEAR(name) name = nullptr;
    SOFTSKF_FUNCTIONS(SOFTSKF_CLEAR)
#undef SOFTSKF_CLEAR
    softskf_callStats = nullptr;
    softskf_resetCallStats = nullptr;
    if (library_) close_library();
    library_ = nullptr;
}
