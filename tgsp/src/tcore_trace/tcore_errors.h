// Result codes. Every failure code of every layer is in the one list of
// tcore_result_codes.h; codes never change meaning once published.
#pragma once

#include "tcore_result_codes.h"

#define TCORE_OK 0

// Exit status of the process when memory runs out: no caller ever sees a
// failed allocation.
#define TCORE_EXIT_NO_MEMORY 111
