// Result codes of the signing-client layer and of the exported functions
// (DSC_ACX_ERR_*), from the one list of tcore_result_codes.h.
#pragma once

#include "tcore_errors.h"
