// The map the Linux stand-ins keep between calls: a key is found only by an
// equal key, even where hashes collide; the bounds on entries and bytes
// hold; and the unload frees the map unless a call holds it.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "posix_keptmap.h"

namespace {

// Every key in one bucket: only the full comparison tells keys apart.
struct OneHash {
    size_t operator()(const std::string&) const { return 42; }
};

using Map = posix_KeptMap<std::string, int, OneHash>;

}  // namespace

TEST(KeptMapTest, KeysOfOneHashAreToldApartByTheirBytes)
{
    Map map(16, 1024);
    std::unique_lock<std::mutex> hold(map.lock());
    map.keep("abc", 1, 3);
    map.keep("abd", 2, 3);
    map.keep("ab", 3, 2);
    ASSERT_NE(map.find("abc"), nullptr);
    ASSERT_NE(map.find("abd"), nullptr);
    ASSERT_NE(map.find("ab"), nullptr);
    EXPECT_EQ(*map.find("abc"), 1);
    EXPECT_EQ(*map.find("abd"), 2);
    EXPECT_EQ(*map.find("ab"), 3);
    EXPECT_EQ(map.find("abcd"), nullptr);
    map.keep("abc", 4, 5);  // in place of the first, counted anew
    EXPECT_EQ(*map.find("abc"), 4);
    EXPECT_EQ(map.entries(), 3u);
    EXPECT_EQ(map.bytes(), 10u);
    map.forget("abd");
    EXPECT_EQ(map.find("abd"), nullptr);
    EXPECT_EQ(map.bytes(), 7u);
    hold.unlock();
    map.freeUnlessBusy();
}

TEST(KeptMapTest, TheBoundsOnEntriesAndBytesHold)
{
    struct Case {
        const char* what;
        size_t maxEntries, maxBytes, bytesEach;
        int kept;  // entries after keeping "0" to "9", in that order
    };
    const Case cases[] = {
        {"within both bounds", 16, 1000, 10, 10},
        {"the entries bound: emptied at the fifth, the ninth", 4, 1000, 10, 2},
        {"the bytes bound: 30 bytes hold three", 16, 30, 10, 1},
        {"each larger than the whole bound: none kept", 16, 9, 10, 0},
        {"no entries allowed", 0, 1000, 1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Map map(c.maxEntries, c.maxBytes);
        std::unique_lock<std::mutex> hold(map.lock());
        for (int i = 0; i < 10; ++i) {
            map.keep(std::to_string(i), i, c.bytesEach);
            EXPECT_LE(map.entries(), c.maxEntries);
            EXPECT_LE(map.bytes(), c.maxBytes);
        }
        EXPECT_EQ(map.entries(), static_cast<size_t>(c.kept));
        EXPECT_EQ(map.bytes(), static_cast<size_t>(c.kept) * c.bytesEach);
        // What is kept is the latest, never a stale one.
        if (c.kept > 0) {
            EXPECT_NE(map.find("9"), nullptr);
        }
        hold.unlock();
        map.freeUnlessBusy();
    }
}

TEST(KeptMapTest, TheUnloadFreesTheMapUnlessACallHoldsIt)
{
    Map map(16, 1024);
    {
        std::lock_guard<std::mutex> hold(map.lock());
        map.keep("a", 1, 1);
    }
    std::atomic<bool> holding{false}, release{false};
    std::thread call([&] {
        std::lock_guard<std::mutex> hold(map.lock());
        holding = true;
        while (!release) std::this_thread::yield();
    });
    while (!holding) std::this_thread::yield();
    map.freeUnlessBusy();
    release = true;
    call.join();
    {
        std::lock_guard<std::mutex> hold(map.lock());
        EXPECT_EQ(map.entries(), 1u);
    }
    map.freeUnlessBusy();
    std::lock_guard<std::mutex> hold(map.lock());
    EXPECT_EQ(map.entries(), 0u);
    EXPECT_EQ(map.find("a"), nullptr);
}

TEST(KeptMapTest, FindOrMakeMakesAValueOncePerKeyAndKeepsNoNull)
{
    posix_KeptMap<std::string, std::shared_ptr<const std::string>> map(16, 1024);
    int made = 0;
    auto get = [&](const std::string& key) {
        return map.findOrMake(
            key,
            [&]() -> std::shared_ptr<const std::string> {
                ++made;
                return key == "refused" ? nullptr : std::make_shared<const std::string>("value of " + key);
            },
            [&](const auto&) { return key; }, [](const auto& value) { return value->size(); });
    };
    auto first = get("a");
    auto again = get("a");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first, again);
    EXPECT_EQ(*first, "value of a");
    EXPECT_EQ(*get("b"), "value of b");
    EXPECT_EQ(get("refused"), nullptr);
    EXPECT_EQ(get("refused"), nullptr);
    EXPECT_EQ(made, 4);  // a once, b once, the refused key each time
    {
        std::lock_guard<std::mutex> hold(map.lock());
        EXPECT_EQ(map.entries(), 2u);
    }
    map.freeUnlessBusy();
}
