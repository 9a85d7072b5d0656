#include "dsc_acx_selected.h"

#include "dsc_acx_certinfo.h"
#include "tcore_mem.h"

dsc_acx_certinfo* dsc_acx_selectedCert = nullptr;

void dsc_acx_releaseSelectedCert()
{
    if (dsc_acx_selectedCert == nullptr) return;
    dsc_acx_certinfo_release(dsc_acx_selectedCert);
    tcore_free(dsc_acx_selectedCert);
    dsc_acx_selectedCert = nullptr;
}
