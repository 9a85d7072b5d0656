// Where a certificate or device lives: "SKF" (a token reached through a
// vendor library) or "CSP" (the Windows certificate stores).
#pragma once

#define DSC_ACX_KIND_SKF "SKF"
#define DSC_ACX_KIND_CSP "CSP"
