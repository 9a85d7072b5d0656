// Linux: the module's destructor, run by dlclose when the last handle to
// the module goes, and at the process's exit, where a host thread may still
// be inside a call; the unload then leaves everything as it is.
#include "dsc_jna_unload.h"

__attribute__((destructor)) static void dsc_jna_unloadModule() { dsc_jna_unload(); }
