#include "dsc_acx_selected.h"

dsc_acx_certinfo* dsc_acx_selectedCert = nullptr;
