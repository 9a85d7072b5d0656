// Result codes of the ASN.1 layer (TASN1_ERR_*), from the one list of
// tcore_result_codes.h.
#pragma once

#include "tcore_errors.h"
