// The one piece of state between exported calls: the certificate that the
// last selection chose, consumed by the next Sgn_Sign. Null at load.
#pragma once

struct dsc_acx_certinfo;

extern dsc_acx_certinfo* dsc_acx_selectedCert;

// Releases the selected certificate, if any; none is selected afterwards.
void dsc_acx_releaseSelectedCert();
