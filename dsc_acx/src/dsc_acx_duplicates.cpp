#include "dsc_acx_duplicates.h"

#include <algorithm>
#include <unordered_map>
#include <vector>

int dsc_acx_removeDuplicates(tcore_list* list, dsc_acx_sameItem same)
{
    return dsc_acx_removeDuplicatesByKey(list, nullptr, same);
}

int dsc_acx_removeDuplicatesByKey(tcore_list* list, dsc_acx_itemKey key, dsc_acx_sameItem same)
{
    if (list == nullptr) return 0;
    // The records kept so far, by key, in list order: a record is compared
    // with those only, the earliest first, as a walk over the whole list
    // that removes each duplicate as it comes would compare it.
    std::unordered_map<unsigned long, std::vector<void*>> kept;
    std::vector<void*> dropped;
    for (int i = 0; i < list->count; ++i) {
        void* item = list->items[i];
        std::vector<void*>& earlier = kept[key != nullptr ? key(item) : 0];
        if (std::any_of(earlier.begin(), earlier.end(), [&](void* e) { return same(e, item); }))
            dropped.push_back(item);
        else
            earlier.push_back(item);
    }
    for (void* item : dropped) tcore_list_remove(list, item);
    return list->count;
}
