// Windows: the library reads the real registry and system stores; no setting
// names a file.
#include "library.h"

std::vector<std::string> dsc_platform_configuration_warnings() { return {}; }
