#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tcore_errors.h"
#include "tcore_list.h"
#include "tcore_mem.h"

namespace {

std::vector<int> destroyed;
void recordDestroy(void* item) { destroyed.push_back(*static_cast<int*>(item)); }

struct ListTest : ::testing::Test {
    int values[1100];
    void SetUp() override
    {
        destroyed.clear();
        for (int i = 0; i < 1100; ++i) values[i] = i;
    }
};

std::vector<std::string> texts(const tcore_strlist* list)
{
    std::vector<std::string> out;
    for (int i = 0; i < tcore_strlist_count(list); ++i) out.emplace_back(tcore_strlist_get(list, i));
    return out;
}

}  // namespace

TEST_F(ListTest, GrowsByDoublingAndKeepsOrder)
{
    tcore_list* list = tcore_list_new(nullptr);
    EXPECT_EQ(list->capacity, 256);
    for (int i = 0; i < 256; ++i) ASSERT_EQ(tcore_list_append(list, &values[i]), 0);
    EXPECT_EQ(list->capacity, 256);
    tcore_list_append(list, &values[256]);
    EXPECT_EQ(list->capacity, 512);
    for (int i = 257; i < 513; ++i) tcore_list_append(list, &values[i]);
    EXPECT_EQ(list->capacity, 1024);
    ASSERT_EQ(list->count, 513);
    for (int i = 0; i < 513; ++i) ASSERT_EQ(list->items[i], &values[i]) << i;
    EXPECT_EQ(list->items[513], nullptr);
    tcore_list_free(list);
}

TEST_F(ListTest, RejectsNullArguments)
{
    tcore_list* list = tcore_list_new(recordDestroy);
    EXPECT_EQ(tcore_list_append(list, nullptr), TCORE_ERR_PARAM);
    EXPECT_EQ(tcore_list_append(nullptr, &values[0]), TCORE_ERR_PARAM);
    EXPECT_EQ(tcore_list_remove(list, nullptr), TCORE_ERR_PARAM);
    EXPECT_EQ(tcore_list_remove(nullptr, &values[0]), TCORE_ERR_PARAM);
    EXPECT_EQ(list->count, 0);
    tcore_list_clear(nullptr);
    tcore_list_free(nullptr);
    tcore_list_free(list);
}

TEST_F(ListTest, RemoveDestroysOnlyThatItemAndClosesTheGap)
{
    tcore_list* list = tcore_list_new(recordDestroy);
    for (int i = 0; i < 4; ++i) tcore_list_append(list, &values[i]);
    EXPECT_EQ(tcore_list_remove(list, &values[1]), 0);  // from the middle
    EXPECT_EQ(destroyed, std::vector<int>{1});
    ASSERT_EQ(list->count, 3);
    EXPECT_EQ(list->items[0], &values[0]);
    EXPECT_EQ(list->items[1], &values[2]);
    EXPECT_EQ(list->items[2], &values[3]);
    EXPECT_EQ(list->items[3], nullptr);

    EXPECT_EQ(tcore_list_remove(list, &values[3]), 0);  // the last one
    EXPECT_EQ(destroyed, (std::vector<int>{1, 3}));
    EXPECT_EQ(list->count, 2);
    EXPECT_EQ(list->items[2], nullptr);

    EXPECT_EQ(tcore_list_remove(list, &values[99]), 0);  // not there: nothing happens
    EXPECT_EQ(list->count, 2);
    EXPECT_EQ(destroyed.size(), 2u);
    tcore_list_free(list);
    EXPECT_EQ(destroyed, (std::vector<int>{1, 3, 0, 2}));
}

TEST_F(ListTest, RemoveWithoutCallbackHandsTheItemBack)
{
    tcore_list* list = tcore_list_new(nullptr);
    tcore_list_append(list, &values[0]);
    tcore_list_append(list, &values[1]);
    EXPECT_EQ(tcore_list_remove(list, &values[0]), 0);
    EXPECT_EQ(list->count, 1);
    EXPECT_EQ(list->items[0], &values[1]);
    EXPECT_EQ(values[0], 0);  // untouched, still the caller's
    tcore_list_free(list);
}

TEST_F(ListTest, ClearSkipsNullSlotsAndKeepsCapacity)
{
    tcore_list* list = tcore_list_new(recordDestroy);
    for (int i = 0; i < 300; ++i) tcore_list_append(list, &values[i]);
    list->items[5] = nullptr;  // a hole left by a caller
    tcore_list_clear(list);
    EXPECT_EQ(destroyed.size(), 299u);
    EXPECT_EQ(list->count, 0);
    EXPECT_EQ(list->capacity, 512);
    EXPECT_EQ(list->items[0], nullptr);
    EXPECT_EQ(tcore_list_append(list, &values[7]), 0);  // reusable
    tcore_list_free(list);
}

TEST(StrListTest, StoresCopiesAndAnswersOutOfRangeWithNull)
{
    tcore_strlist* list = tcore_strlist_new();
    char text[] = "alpha";
    EXPECT_EQ(tcore_strlist_append(list, text), 0);
    EXPECT_EQ(tcore_strlist_append(list, ""), 0);
    EXPECT_EQ(tcore_strlist_append(list, nullptr), TCORE_ERR_PARAM);
    text[0] = 'X';
    EXPECT_STREQ(tcore_strlist_get(list, 0), "alpha");
    EXPECT_STREQ(tcore_strlist_get(list, 1), "");
    EXPECT_EQ(tcore_strlist_get(list, 2), nullptr);  // index == count
    EXPECT_EQ(tcore_strlist_get(list, -1), nullptr);
    EXPECT_EQ(tcore_strlist_get(nullptr, 0), nullptr);
    EXPECT_EQ(tcore_strlist_count(nullptr), 0);
    for (int i = 0; i < 600; ++i) tcore_strlist_append(list, std::to_string(i).c_str());
    EXPECT_EQ(list->capacity, 1024);
    EXPECT_STREQ(tcore_strlist_get(list, 601), "599");
    tcore_strlist_clear(list);
    EXPECT_EQ(tcore_strlist_count(list), 0);
    tcore_strlist_free(list);
    tcore_strlist_free(nullptr);
}

TEST(StrListTest, SplitsAtCommas)
{
    struct Case {
        const char* input;
        std::vector<std::string> pieces;
    };
    const Case cases[] = {
        {"a,b", {"a", "b"}},
        {",a", {"", "a"}},
        {"a,,b", {"a", "", "b"}},
        {"a,", {"a"}},
        {",", {""}},
        {"abc", {"abc"}},
        {"CN=x,O=y,C=CN", {"CN=x", "O=y", "C=CN"}},
    };
    for (const auto& c : cases) {
        std::string buffer = c.input;
        tcore_strlist* list = tcore_strlist_split(buffer.data());
        ASSERT_NE(list, nullptr) << c.input;
        EXPECT_EQ(texts(list), c.pieces) << c.input;
        tcore_strlist_free(list);
        EXPECT_EQ(buffer.find(','), std::string::npos) << "separators become NUL";
    }
    char empty[] = "";
    EXPECT_EQ(tcore_strlist_split(empty), nullptr);
    EXPECT_EQ(tcore_strlist_split(nullptr), nullptr);
}

TEST(MemoryTest, ZallocGivesZeroedMemory)
{
    auto* p = static_cast<unsigned char*>(tcore_zalloc(4096));
    for (int i = 0; i < 4096; ++i) ASSERT_EQ(p[i], 0);
    tcore_free(p);
    tcore_free(nullptr);
}

TEST(MemoryDeathTest, FailedAllocationEndsTheProcessWithStatus111)
{
    EXPECT_EXIT(tcore_zalloc(SIZE_MAX / 2), ::testing::ExitedWithCode(111), "");
}
