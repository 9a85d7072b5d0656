// Dropping later duplicates from a list: with a key, a record is compared
// only with the earlier records of its key, and the records left, their
// order and which of equal ones stays are those of the walk without a key.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "dsc_acx_duplicates.h"

namespace {

// Records are numbers stored as pointers; a list of them is not destroyed.
void* item(intptr_t n) { return reinterpret_cast<void*>(n); }
intptr_t number(void* p) { return reinterpret_cast<intptr_t>(p); }

// Equal tens: 11 and 17 are the same record, 11 and 21 not.
bool sameTens(void* earlier, void* later) { return number(earlier) / 10 == number(later) / 10; }
// Neighbours, and only a later one above an earlier one: not an equivalence,
// so the comparisons made and their order show in the result.
bool oneAbove(void* earlier, void* later) { return number(later) == number(earlier) + 1; }
// Keys that put records of different tens together, never equal tens apart.
unsigned long tensModThree(void* p) { return static_cast<unsigned long>(number(p) / 10 % 3); }
unsigned long oneKey(void*) { return 7; }
unsigned long parity(void* p) { return static_cast<unsigned long>(number(p) % 2); }

std::vector<intptr_t> afterRemoval(const std::vector<intptr_t>& numbers, dsc_acx_itemKey key, dsc_acx_sameItem same)
{
    tcore_list* list = tcore_list_new(nullptr);
    for (intptr_t n : numbers) tcore_list_append(list, item(n));
    int left = key == nullptr ? dsc_acx_removeDuplicates(list, same) : dsc_acx_removeDuplicatesByKey(list, key, same);
    std::vector<intptr_t> out;
    for (int i = 0; i < list->count; ++i) out.push_back(number(list->items[i]));
    EXPECT_EQ(left, list->count);
    tcore_list_free(list);
    return out;
}

}  // namespace

TEST(DuplicatesTest, TheFirstOfEqualRecordsStaysInItsPlace)
{
    struct Case {
        const char* what;
        std::vector<intptr_t> numbers;
        dsc_acx_itemKey key;
        dsc_acx_sameItem same;
        std::vector<intptr_t> left;
    };
    const std::vector<intptr_t> mixed = {31, 12, 45, 17, 33, 11, 61, 42, 39, 18, 62, 71};
    const std::vector<intptr_t> mixedLeft = {31, 12, 45, 61, 71};
    const Case cases[] = {
        {"no key", mixed, nullptr, sameTens, mixedLeft},
        {"keys shared by several tens", mixed, tensModThree, sameTens, mixedLeft},
        {"one key for all", mixed, oneKey, sameTens, mixedLeft},
        {"nothing equal", {5, 15, 25}, tensModThree, sameTens, {5, 15, 25}},
        {"all equal", {14, 13, 12, 11}, tensModThree, sameTens, {14}},
        {"empty", {}, tensModThree, sameTens, {}},
        // 2 is the same as 1 and goes; 3 is compared with 1 only, the
        // records left, and stays; 4 goes as the same as 3. 6 comes before
        // 5, and only a later record can be one above.
        {"compared with the records left, earlier first", {1, 2, 3, 4, 6, 5}, nullptr, oneAbove, {1, 3, 6, 5}},
        {"the same with one key for all", {1, 2, 3, 4, 6, 5}, oneKey, oneAbove, {1, 3, 6, 5}},
    };
    for (const auto& c : cases) EXPECT_EQ(afterRemoval(c.numbers, c.key, c.same), c.left) << c.what;
    // A key must not part records that are the same: with parity as the
    // key, 1 and 2 are never compared.
    EXPECT_EQ(afterRemoval({1, 2, 3}, parity, oneAbove), (std::vector<intptr_t>{1, 2, 3}));
    EXPECT_EQ(dsc_acx_removeDuplicatesByKey(nullptr, oneKey, sameTens), 0);
}
