// The exported functions: thin drivers that check their arguments, call the
// layers below and hand results back. Nothing here throws.
#include "dsc_jna.h"

#include "dsc_acx_log.h"
#include "tcore_mem.h"

extern "C" {

void Sgn_Free(void* p) { tcore_free(p); }

int Sgn_SetLog(const char* path) { return dsc_acx_setLog(path); }

int Sgn_CloseLog(void) { return dsc_acx_closeLog(); }

}
