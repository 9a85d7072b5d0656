#include <cstdlib>
#include <memory>

#include "temp_dir.h"
#include "test_registry.h"

namespace {

std::unique_ptr<TempDir> registryDir;

}  // namespace

void test_registry_install(const std::string& regText)
{
    registryDir = std::make_unique<TempDir>();
    registryDir->write("fixture.reg", regText);
    setenv("DSC_JNA_REGISTRY", registryDir->path().c_str(), 1);
}

bool test_registry_installInView(const std::string&, int) { return false; }

void test_registry_clear() { test_registry_install(kRegHeader); }

#include "test_platform.h"

const char* const kSystemLibrary = "libc.so.6";
const char* const kSystemLibrarySymbol = "strlen";

#include <dlfcn.h>

#include "skfapi.h"
#include "token_vendor.h"

bool moduleIsLoaded(const std::string& path)
{
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle == nullptr) return false;
    dlclose(handle);
    return true;
}

bool listDevicesAndUnload(const std::string& path)
{
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) return false;
    if (auto enumDev = reinterpret_cast<decltype(&SKF_EnumDev)>(dlsym(handle, "SKF_EnumDev"))) {
        char names[256] = {0};
        SKF_ULONG size = sizeof names;
        enumDev(TRUE, names, &size);
    }
    dlclose(handle);
    return true;
}

void* tokenModuleFunction(const std::string& path, const char* name)
{
    void* handle = dlopen(path.c_str(), RTLD_NOW);
    return handle != nullptr ? dlsym(handle, name) : nullptr;
}

std::string libraryFileName(const std::string& stem) { return stem + ".so"; }
