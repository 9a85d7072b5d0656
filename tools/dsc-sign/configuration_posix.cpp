// Linux: the library finds its token registrations and certificate stores
// through two variables. A mistyped path there looks to the library like a
// machine without tokens or certificates, so it is named here instead.
#include <sys/stat.h>

#include <cstdlib>

#include "library.h"

std::vector<std::string> dsc_platform_configuration_warnings()
{
    struct Setting {
        const char* variable;
        const char* consequence;
    };
    const Setting settings[] = {
        {"DSC_JNA_REGISTRY", "no token library is registered"},
        {"DSC_JNA_STORES", "no certificate store is read"},
    };
    std::vector<std::string> warnings;
    for (const Setting& s : settings) {
        const char* path = std::getenv(s.variable);
        struct stat st;
        if (path && *path && stat(path, &st) != 0)
            warnings.push_back(std::string(s.variable) + " names " + path + ", which does not exist; " + s.consequence);
    }
    return warnings;
}
