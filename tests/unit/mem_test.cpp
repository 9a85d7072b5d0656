#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "tcore_mem.h"

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace {

constexpr size_t kMiB = size_t{1} << 20;

struct Block {
    size_t size;
    unsigned char* p;
};

#if defined(__linux__)
// Whether the page holding `p` is still mapped in this process.
bool mapped(const void* p)
{
    const auto page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    unsigned char resident = 0;
    void* start = reinterpret_cast<void*>(reinterpret_cast<uintptr_t>(p) & ~(page - 1));
    return mincore(start, 1, &resident) == 0;
}
#endif

}  // namespace

// Large blocks of every kind (from the heap, mapped on their own, sizes that
// are no whole number of pages) and zeroed ones, all writable to their last
// byte and each released by tcore_free the way it was taken, in an order
// unlike the one they were made in. A mapped block is gone once released:
// its first and its last page are no longer mapped.
TEST(MemTest, LargeBlocksAreWholeAndReleasedTheWayTheyWereTaken)
{
    const std::vector<size_t> sizes = {
        0, 1, 4095, 4097, 31 * kMiB, 32 * kMiB - 1, 32 * kMiB, 32 * kMiB + 1, 45 * kMiB + 123};
    std::vector<Block> blocks;
    std::vector<void*> zeroed;
    for (size_t size : sizes) {
        auto* p = static_cast<unsigned char*>(tcore_allocLarge(size));
        ASSERT_NE(p, nullptr);
        if (size > 0) {
            std::memset(p + size / 2, 3, std::min<size_t>(size - size / 2, 4096));
            p[0] = 1;
            p[size - 1] = 2;
        }
        blocks.push_back({size, p});
        zeroed.push_back(tcore_zalloc(size));
    }
    // Blocks at or over 32 MiB are mapped to start on a 2 MiB boundary.
#if defined(__linux__)
    for (const Block& b : blocks)
        if (b.size >= 32 * kMiB) {
            EXPECT_EQ(reinterpret_cast<uintptr_t>(b.p) % (2 * kMiB), 0u) << b.size;
        }
#endif
    std::reverse(zeroed.begin(), zeroed.end());
    std::rotate(blocks.begin(), blocks.begin() + 5, blocks.end());
    for (size_t i = 0; i < blocks.size(); ++i) {
        const Block b = blocks[i];
        if (b.size > 1) {
            EXPECT_EQ(b.p[0], 1) << b.size;
        }
        if (b.size > 0) {
            EXPECT_EQ(b.p[b.size - 1], 2) << b.size;
        }
        tcore_free(b.p);
        tcore_free(zeroed[i]);
#if defined(__linux__)
        if (b.size >= 32 * kMiB) {
            EXPECT_FALSE(mapped(b.p)) << b.size;
            EXPECT_FALSE(mapped(b.p + b.size - 1)) << b.size;
        }
#endif
    }
    tcore_free(nullptr);
}
