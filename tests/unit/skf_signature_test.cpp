#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "tutil_skf_cus.h"

namespace {

// A blob with r and s right-aligned in their 64-byte fields.
ECCSIGNATUREBLOB blobOf(std::vector<unsigned char> r, std::vector<unsigned char> s)
{
    ECCSIGNATUREBLOB blob{};
    r.resize(32, 0x11);
    s.resize(32, 0x22);
    std::memcpy(blob.r + 32, r.data(), 32);
    std::memcpy(blob.s + 32, s.data(), 32);
    return blob;
}

std::vector<unsigned char> der(const ECCSIGNATUREBLOB& blob)
{
    unsigned char out[80];
    std::memset(out, 0xEE, sizeof out);
    int n = tutil_skf_sm2SignatureToDer(&blob, out);
    EXPECT_EQ(out[n], 0xEE) << "written past the encoding";
    return std::vector<unsigned char>(out, out + n);
}

}  // namespace

TEST(Sm2SignatureDerTest, HighBitGetsOneZeroByte)
{
    std::vector<unsigned char> d = der(blobOf({0x9A}, {0x12}));
    ASSERT_EQ(d.size(), 71u);
    EXPECT_EQ((std::vector<unsigned char>(d.begin(), d.begin() + 6)),
              (std::vector<unsigned char>{0x30, 0x45, 0x02, 0x21, 0x00, 0x9A}));
    EXPECT_EQ(d[37], 0x02);
    EXPECT_EQ(d[38], 0x20);
    EXPECT_EQ(d[39], 0x12);
}

TEST(Sm2SignatureDerTest, IntegersAreMinimal)
{
    struct Case {
        std::vector<unsigned char> r, s;
        std::vector<unsigned char> head;  // SEQUENCE header and the start of r
        size_t size;
    };
    const Case cases[] = {
        {{0x00, 0x7F}, {0x12}, {0x30, 0x43, 0x02, 0x1F, 0x7F}, 69},  // 31-byte INTEGER
        {{0x00, 0x80}, {0x92}, {0x30, 0x45, 0x02, 0x20, 0x00, 0x80}, 71},
        {{0xFF}, {0xFF}, {0x30, 0x46, 0x02, 0x21, 0x00, 0xFF}, 72},
        {std::vector<unsigned char>(32, 0), std::vector<unsigned char>(32, 0), {0x30, 0x06, 0x02, 0x01, 0x00}, 8},
    };
    for (const auto& c : cases) {
        std::vector<unsigned char> d = der(blobOf(c.r, c.s));
        EXPECT_EQ(d.size(), c.size);
        EXPECT_EQ(std::vector<unsigned char>(d.begin(), d.begin() + static_cast<long>(c.head.size())), c.head);
        EXPECT_EQ(d[1], d.size() - 2);
    }
}
