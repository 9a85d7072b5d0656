#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tcore_codec.h"
#include "tcore_errors.h"

namespace {

const unsigned char* bytes(const char* s) { return reinterpret_cast<const unsigned char*>(s); }

// Decodes into a buffer of exactly the announced size, so a write past the
// end is seen by the sanitizers.
std::vector<unsigned char> decode(const std::string& text, int* result)
{
    int size = tcore_base64_decode(nullptr, text.c_str(), static_cast<int>(text.size()), 0);
    std::vector<unsigned char> out(size > 0 ? static_cast<size_t>(size) : 0);
    *result = tcore_base64_decode(out.data(), text.c_str(), static_cast<int>(text.size()), size);
    return out;
}

}  // namespace

TEST(HexTest, UpperCaseDigitsAndCapacityRule)
{
    const unsigned char data[] = {0x00, 0xAB, 0xFF};
    EXPECT_EQ(tcore_bytesToHexString(data, 3, nullptr, 0), 6);
    char small[6];
    EXPECT_EQ(tcore_bytesToHexString(data, 3, small, 6), -1);
    char out[7];
    EXPECT_EQ(tcore_bytesToHexString(data, 3, out, 7), 6);
    EXPECT_STREQ(out, "00ABFF");
    EXPECT_EQ(tcore_bytesToHexString(nullptr, 3, out, 7), TCORE_ERR_PARAM);
    EXPECT_EQ(tcore_bytesToHexString(data, 0, out, 7), TCORE_ERR_PARAM);
}

TEST(Base64Test, EncodesWithPaddingAndTheCapacityRule)
{
    struct Case {
        std::string data, text;
    };
    const Case cases[] = {{"abc", "YWJj"}, {"a", "YQ=="}, {"ab", "YWI="}, {"abcd", "YWJjZA=="},
                          {std::string("\xFB\xFF\x00", 3), "+/8A"}};
    for (const auto& c : cases) {
        std::vector<char> out(c.text.size() + 1, 'x');
        EXPECT_EQ(tcore_base64_encode(out.data(), bytes(c.data.data()), static_cast<int>(c.data.size()),
                                      static_cast<int>(out.size())),
                  static_cast<int>(c.text.size()));
        EXPECT_STREQ(out.data(), c.text.c_str());
    }
    char exact[4];  // no room for a terminator: still succeeds
    EXPECT_EQ(tcore_base64_encode(exact, bytes("abc"), 3, 4), 4);
    EXPECT_EQ(std::string(exact, 4), "YWJj");
    char small[3];
    EXPECT_EQ(tcore_base64_encode(small, bytes("abc"), 3, 3), TCORE_ERR_BUFSIZE);
    char text[16];
    EXPECT_EQ(tcore_base64_encode(text, bytes("abc"), 0, 16), 4);  // length from the text
    EXPECT_EQ(tcore_base64_encode(nullptr, bytes("abc"), 3, 16), TCORE_ERR_PARAM);
    EXPECT_EQ(tcore_base64_encode(text, nullptr, 3, 16), TCORE_ERR_PARAM);
}

TEST(Base64Test, DecodesTextsAndReportsErrors)
{
    struct Case {
        std::string text;
        int result;
        std::string prefix;  // the meaningful bytes
    };
    const Case cases[] = {
        {"YWJj", 3, "abc"},
        {"YWI=", 2, "ab"},
        {"YQ==", 1, "a"},
        {"YWJj\r\nZA==\r\n", 4, "abcd"},
        {"  YW Jj\tZA==", 4, "abcd"},
        {"YWJjZA==-----", 4, "abcd"},  // trailing dashes of a PEM footer
        {"YWJj*A==", TCORE_ERR_BASE64_CHAR, "abc"},
        {"YWJj\xC1" "A==", TCORE_ERR_BASE64_CHAR, "abc"},  // not ASCII: not a letter
        {"YWJjZ", TCORE_ERR_BUFSIZE, ""},
        {"", 0, ""},
    };
    for (const auto& c : cases) {
        int result = 0;
        std::vector<unsigned char> out = decode(c.text, &result);
        EXPECT_EQ(result, c.result) << c.text;
        ASSERT_GE(out.size(), c.prefix.size()) << c.text;
        EXPECT_EQ(std::string(out.begin(), out.begin() + static_cast<long>(c.prefix.size())), c.prefix) << c.text;
    }
}

TEST(Base64Test, DecodeSizeQueryAndCapacity)
{
    EXPECT_EQ(tcore_base64_decode(nullptr, "YWJjZGVm", 8, 0), 6);
    EXPECT_EQ(tcore_base64_decode(nullptr, "YWJjZA==", 8, 0), 6);  // whatever the padding
    unsigned char out[3];
    EXPECT_EQ(tcore_base64_decode(out, "YWI=", 4, 3), 2);
    EXPECT_EQ(out[2], 0);  // written although padding
    EXPECT_EQ(tcore_base64_decode(out, "YWJjZGVm", 8, 3), TCORE_ERR_BUFSIZE);
    EXPECT_EQ(tcore_base64_decode(out, nullptr, 4, 3), TCORE_ERR_PARAM);
}

TEST(Base64Test, RoundTripsEveryLengthAndByte)
{
    std::vector<unsigned char> data;
    for (int n = 1; n < 300; ++n) {
        data.push_back(static_cast<unsigned char>(n * 37));
        std::vector<char> text(static_cast<size_t>((n + 2) / 3 * 4));
        int len = tcore_base64_encode(text.data(), data.data(), n, static_cast<int>(text.size()));
        ASSERT_EQ(len, static_cast<int>(text.size()));
        int result = 0;
        std::vector<unsigned char> back = decode(std::string(text.begin(), text.end()), &result);
        ASSERT_EQ(result, n);
        EXPECT_TRUE(std::equal(data.begin(), data.end(), back.begin())) << n;
    }
}
