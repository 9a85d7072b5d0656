#include "tcore_list.h"

#include <cstring>

#include "tcore_errors.h"
#include "tcore_mem.h"

namespace {

constexpr int kInitialCapacity = 256;

// Both list kinds grow the same way: double, copy the used slots over,
// release the old array.
template <typename Slot>
void growIfFull(Slot*& items, int count, int& capacity)
{
    if (count < capacity) return;
    int bigger = capacity * 2;
    auto* fresh = static_cast<Slot*>(tcore_zalloc(sizeof(Slot) * static_cast<size_t>(bigger)));
    std::memcpy(fresh, items, sizeof(Slot) * static_cast<size_t>(count));
    tcore_free(items);
    items = fresh;
    capacity = bigger;
}

}  // namespace

tcore_list* tcore_list_new(tcore_list_freeItem freeItem)
{
    auto* list = static_cast<tcore_list*>(tcore_zalloc(sizeof(tcore_list)));
    list->items = static_cast<void**>(tcore_zalloc(sizeof(void*) * kInitialCapacity));
    list->capacity = kInitialCapacity;
    list->freeItem = freeItem;
    return list;
}

int tcore_list_append(tcore_list* list, void* item)
{
    if (list == nullptr || list->items == nullptr || item == nullptr) return TCORE_ERR_PARAM;
    growIfFull(list->items, list->count, list->capacity);
    list->items[list->count++] = item;
    return TCORE_OK;
}

int tcore_list_remove(tcore_list* list, void* item)
{
    if (list == nullptr || list->items == nullptr || item == nullptr) return TCORE_ERR_PARAM;
    int at = 0;
    while (at < list->count && list->items[at] != item) ++at;
    if (at == list->count) return TCORE_OK;
    if (list->freeItem != nullptr) list->freeItem(item);
    std::memmove(&list->items[at], &list->items[at + 1], sizeof(void*) * static_cast<size_t>(list->count - at - 1));
    list->items[--list->count] = nullptr;
    return TCORE_OK;
}

void tcore_list_clear(tcore_list* list)
{
    if (list == nullptr || list->items == nullptr) return;
    for (int i = 0; i < list->count; ++i) {
        if (list->freeItem != nullptr && list->items[i] != nullptr) list->freeItem(list->items[i]);
        list->items[i] = nullptr;
    }
    list->count = 0;
}

void tcore_list_free(tcore_list* list)
{
    if (list == nullptr) return;
    tcore_list_clear(list);
    tcore_free(list->items);
    tcore_free(list);
}

tcore_strlist* tcore_strlist_new()
{
    auto* list = static_cast<tcore_strlist*>(tcore_zalloc(sizeof(tcore_strlist)));
    list->items = static_cast<char**>(tcore_zalloc(sizeof(char*) * kInitialCapacity));
    list->capacity = kInitialCapacity;
    return list;
}

int tcore_strlist_append(tcore_strlist* list, const char* text)
{
    if (list == nullptr || list->items == nullptr || text == nullptr) return TCORE_ERR_PARAM;
    growIfFull(list->items, list->count, list->capacity);
    list->items[list->count++] = tcore_strdup(text);
    return TCORE_OK;
}

int tcore_strlist_count(const tcore_strlist* list) { return list == nullptr ? 0 : list->count; }

const char* tcore_strlist_get(const tcore_strlist* list, int index)
{
    if (list == nullptr || list->items == nullptr || index < 0 || index >= list->count) return nullptr;
    return list->items[index];
}

void tcore_strlist_clear(tcore_strlist* list)
{
    if (list == nullptr || list->items == nullptr) return;
    for (int i = 0; i < list->count; ++i) {
        tcore_free(list->items[i]);
        list->items[i] = nullptr;
    }
    list->count = 0;
}

void tcore_strlist_free(tcore_strlist* list)
{
    if (list == nullptr) return;
    tcore_strlist_clear(list);
    tcore_free(list->items);
    tcore_free(list);
}

tcore_strlist* tcore_strlist_split(char* text)
{
    if (text == nullptr || text[0] == 0) return nullptr;
    tcore_strlist* list = tcore_strlist_new();
    size_t total = std::strlen(text);
    size_t consumed = 0;
    char* piece = text;
    while (consumed < total) {
        char* comma = std::strchr(piece, ',');
        if (comma == nullptr) {
            tcore_strlist_append(list, piece);
            break;
        }
        *comma = 0;
        tcore_strlist_append(list, piece);
        size_t step = static_cast<size_t>(comma - piece) + 1;
        consumed += step;
        piece += step;
    }
    return list;
}
