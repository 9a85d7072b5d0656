#include "dsc_acx_duplicates.h"

#include <algorithm>
#include <numeric>
#include <vector>

int dsc_acx_removeDuplicates(tcore_list* list, dsc_acx_sameItem same)
{
    return dsc_acx_removeDuplicatesByKey(list, nullptr, same);
}

int dsc_acx_removeDuplicatesByKey(tcore_list* list, dsc_acx_itemKey key, dsc_acx_sameItem same)
{
    if (list == nullptr) return 0;
    const auto count = static_cast<size_t>(list->count);
    std::vector<unsigned long> keys(count, 0);
    if (key != nullptr)
        for (size_t i = 0; i < count; ++i) keys[i] = key(list->items[i]);
    // The records grouped by key, each group in list order. Within a group a
    // record is compared with the records of the group kept so far, the
    // earliest first, as a walk over the whole list that removes each
    // duplicate as it comes would compare it; records of other groups are
    // never the same.
    std::vector<size_t> order(count);
    std::iota(order.begin(), order.end(), size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return keys[a] < keys[b]; });
    std::vector<bool> dropped(count, false);
    for (size_t start = 0; start < count;) {
        size_t end = start + 1;
        while (end < count && keys[order[end]] == keys[order[start]]) ++end;
        for (size_t later = start + 1; later < end; ++later)
            for (size_t earlier = start; earlier < later; ++earlier) {
                if (dropped[order[earlier]]) continue;
                if (same(list->items[order[earlier]], list->items[order[later]])) {
                    dropped[order[later]] = true;
                    break;
                }
            }
        start = end;
    }
    std::vector<void*> gone;
    for (size_t i = 0; i < count; ++i)
        if (dropped[i]) gone.push_back(list->items[i]);
    for (void* item : gone) tcore_list_remove(list, item);
    return list->count;
}
