// The eleven exports of dsc_jna_v3, bound at run time by name as a JNA host
// binds them, so dsc-sign exercises the module exactly as it ships.
#pragma once

#include <string>
#include <vector>

#include "dsc_jna.h"

// One pointer per export, of the export's own type, named as the export.
struct DscLibrary {
#define DSC_LIBRARY_SLOT(name) decltype(&::name) name;
    DSC_JNA_EXPORTS(DSC_LIBRARY_SLOT)
#undef DSC_LIBRARY_SLOT
    void* module;  // what dsc_platform_close releases
};

// Loads the module (beside this program first, then the platform's search
// path) and binds all eleven names. On failure, `error` says what is missing.
bool dsc_library_load(DscLibrary& lib, std::string& error);

// The platform primitives under dsc_library_load (library_posix.cpp,
// library_win.cpp): open the module by its platform name, look up one name.
void* dsc_platform_open(std::string& error);
void* dsc_platform_symbol(void* module, const char* name);
void dsc_platform_close(void* module);
// The file the module was loaded from (UTF-8), or empty when unknown.
std::string dsc_platform_module_path(void* module);

// Settings of the platform that the library reads and that name files: the
// warnings for those that name a file or directory that does not exist
// (configuration_posix.cpp, configuration_win.cpp).
std::vector<std::string> dsc_platform_configuration_warnings();
