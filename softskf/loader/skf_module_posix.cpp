#include <dlfcn.h>

#include "skf_module.h"

void* SkfModule::open_library(const std::string& path)
{
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) error_ = dlerror();
    return library;
}

void* SkfModule::find_symbol(const char* name) { return dlsym(library_, name); }

void SkfModule::close_library() { dlclose(library_); }
