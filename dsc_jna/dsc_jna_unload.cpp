#include "dsc_jna_unload.h"

#include "dsc_acx_unload.h"
#include "dsc_jna_entry.h"

void dsc_jna_unload()
{
    if (!dsc_jna_tryLockExports()) return;
    dsc_acx_unload();
    // The state is as at load again, so a call that still arrives (a
    // handler of the host's exit, on Linux) runs as a first call would.
    dsc_jna_unlockExports();
}
