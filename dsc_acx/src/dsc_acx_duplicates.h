// Dropping later duplicates from a list, the first one found winning.
#pragma once

#include "tcore_list.h"

typedef bool (*dsc_acx_sameItem)(void* earlier, void* later);

// Walks from the second record on; a record equal to an earlier one is
// removed (destroyed by the list) and the record that moves into its place
// is compared next. Returns the number of records left.
int dsc_acx_removeDuplicates(tcore_list* list, dsc_acx_sameItem same);
