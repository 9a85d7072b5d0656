// Linux: the module is libdsc_jna_v3.so; the copy beside this program wins
// over whatever the dynamic loader's search path would find.
#include <dlfcn.h>
#include <link.h>
#include <stdlib.h>
#include <limits.h>
#include <unistd.h>

#include "library.h"

namespace {

const char kModuleName[] = "libdsc_jna_v3.so";

std::string own_directory()
{
    char path[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return {};
    std::string text(path, static_cast<size_t>(n));
    size_t slash = text.rfind('/');
    return slash == std::string::npos ? std::string() : text.substr(0, slash + 1);
}

}  // namespace

void* dsc_platform_open(std::string& error)
{
    std::string beside = own_directory() + kModuleName;
    if (access(beside.c_str(), F_OK) == 0) {
        if (void* module = dlopen(beside.c_str(), RTLD_NOW | RTLD_LOCAL)) return module;
        error = std::string("cannot load ") + beside + ": " + dlerror();
        return nullptr;
    }
    if (void* module = dlopen(kModuleName, RTLD_NOW | RTLD_LOCAL)) return module;
    error = std::string("cannot load ") + kModuleName +
            " (not beside dsc-sign, nor on the loader's path): " + dlerror();
    return nullptr;
}

void* dsc_platform_symbol(void* module, const char* name) { return dlsym(module, name); }

void dsc_platform_close(void* module) { dlclose(module); }

std::string dsc_platform_module_path(void* module)
{
    link_map* map = nullptr;
    if (dlinfo(module, RTLD_DI_LINKMAP, &map) != 0 || !map || !map->l_name) return {};
    char resolved[PATH_MAX];
    return realpath(map->l_name, resolved) ? resolved : map->l_name;
}
