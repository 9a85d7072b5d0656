#include "dsc_acx_duplicates.h"

int dsc_acx_removeDuplicates(tcore_list* list, dsc_acx_sameItem same)
{
    if (list == nullptr) return 0;
    int i = 1;
    while (i < list->count) {
        bool removed = false;
        for (int j = 0; j < i; ++j) {
            if (same(list->items[j], list->items[i])) {
                tcore_list_remove(list, list->items[i]);
                removed = true;
                break;
            }
        }
        if (!removed) ++i;
    }
    return list->count;
}
