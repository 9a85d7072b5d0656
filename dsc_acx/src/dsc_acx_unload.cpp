#include "dsc_acx_unload.h"

#include "dsc_acx_log.h"
#include "dsc_acx_selected.h"
#include "tutil_skf_cus.h"

void dsc_acx_unload()
{
    // The selected record holds its token's handles, which the token
    // library must still be loaded to close.
    dsc_acx_releaseSelectedCert();
    tutil_skf_unloadAll();
    dsc_acx_forgetLog();
}
