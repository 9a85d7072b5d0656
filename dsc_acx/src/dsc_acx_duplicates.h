// Dropping later duplicates from a list, the first one found winning.
#pragma once

#include "tcore_list.h"

typedef bool (*dsc_acx_sameItem)(void* earlier, void* later);
typedef unsigned long (*dsc_acx_itemKey)(void* item);

// Walks from the second record on; a record equal to an earlier one is
// removed (destroyed by the list) and the record that moves into its place
// is compared next. Returns the number of records left.
int dsc_acx_removeDuplicates(tcore_list* list, dsc_acx_sameItem same);

// The same, comparing a record only with the earlier ones of its key:
// records `key` gives different numbers are never the same. The records
// left, their order and which of equal ones stays are those
// dsc_acx_removeDuplicates leaves.
int dsc_acx_removeDuplicatesByKey(tcore_list* list, dsc_acx_itemKey key, dsc_acx_sameItem same);
