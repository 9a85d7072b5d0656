// Result codes of the Windows crypto layer (TWCYT_ERR_*), from the one list
// of tcore_result_codes.h.
#pragma once

#include "tcore_errors.h"
