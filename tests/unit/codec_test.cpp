#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tcore_base64_middle.h"
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
    const Case cases[] = {{"abc", "YWJj"},
                          {"a", "YQ=="},
                          {"ab", "YWI="},
                          {"abcd", "YWJjZA=="},
                          {std::string("\xFB\xFF\x00", 3), "+/8A"},
                          {"The quick brown fox jumps over the lazy dog",
                           "VGhlIHF1aWNrIGJyb3duIGZveCBqdW1wcyBvdmVyIHRoZSBsYXp5IGRvZw=="}};
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
        {"YWJj\xC1"
         "A==",
         TCORE_ERR_BASE64_CHAR, "abc"},  // not ASCII: not a letter
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

// The pieces encoder must give, for any way of cutting the bytes, the text
// of their concatenation: groups of three straddle the cuts.
TEST(Base64Test, PiecesEncodeLikeTheirConcatenation)
{
    std::vector<unsigned char> data;
    for (int n = 0; n < 40; ++n) data.push_back(static_cast<unsigned char>(n * 53 + 7));
    for (int n = 0; n <= 40; ++n) {
        std::vector<char> whole(static_cast<size_t>((n + 2) / 3 * 4) + 1);
        int wholeLen = n > 0 ? tcore_base64_encode(whole.data(), data.data(), n, static_cast<int>(whole.size())) : 0;
        for (int a = 0; a <= n; ++a) {
            for (int b = a; b <= n; ++b) {
                tcore_bytes pieces[] = {{data.data(), a}, {data.data() + a, b - a}, {data.data() + b, n - b}};
                std::vector<char> text(whole.size() + 3, 'x');
                int len = tcore_base64_encodePieces(text.data(), pieces, 3, static_cast<int>(text.size()));
                ASSERT_EQ(len, wholeLen) << n << " cut at " << a << "," << b;
                ASSERT_EQ(std::string(text.data(), static_cast<size_t>(len)),
                          std::string(whole.data(), static_cast<size_t>(wholeLen)))
                    << n << " cut at " << a << "," << b;
                // The rest of the capacity is zeroed, as by the one-piece form.
                for (size_t k = static_cast<size_t>(len); k < text.size(); ++k) ASSERT_EQ(text[k], 0);
            }
        }
    }
    const tcore_bytes abc[] = {{bytes("ab"), 2}, {bytes("c"), 1}};
    char exact[4];
    EXPECT_EQ(tcore_base64_encodePieces(exact, abc, 2, 4), 4);
    EXPECT_EQ(std::string(exact, 4), "YWJj");
    EXPECT_EQ(tcore_base64_encodePieces(exact, abc, 2, 3), TCORE_ERR_BUFSIZE);
    const tcore_bytes broken[] = {{bytes("ab"), 2}, {nullptr, 1}};
    EXPECT_EQ(tcore_base64_encodePieces(exact, broken, 2, 4), TCORE_ERR_PARAM);
    const tcore_bytes negative[] = {{bytes("ab"), -1}};
    EXPECT_EQ(tcore_base64_encodePieces(exact, negative, 1, 4), TCORE_ERR_PARAM);
    EXPECT_EQ(tcore_base64_encodePieces(exact, abc, 0, 4), TCORE_ERR_PARAM);
    EXPECT_EQ(tcore_base64_encodePieces(nullptr, abc, 2, 4), TCORE_ERR_PARAM);
}

// A middle started before the bytes around it are known must give the text
// of the three joined, wherever the middle falls among the groups of three,
// however short it is, and whatever the buffer holds beyond the text.
TEST(Base64Test, MiddleWrittenAheadJoinsLikeTheWhole)
{
    std::vector<unsigned char> bytesAll;
    for (int n = 0; n < 5000; ++n) bytesAll.push_back(static_cast<unsigned char>(n * 37 + (n >> 5)));
    for (int before = 0; before <= 7; ++before) {
        for (int middle : {0, 1, 2, 3, 4, 5, 6, 7, 1000, 1001, 1002, 4000}) {
            for (int after = 0; after <= 4; ++after) {
                const unsigned char* b = bytesAll.data();
                const unsigned char* m = b + before;
                const unsigned char* a = m + middle;
                const int n = before + middle + after;
                std::vector<char> whole(static_cast<size_t>((n + 2) / 3 * 4) + 5, 'x');
                const tcore_bytes joined{b, n};
                const int wholeLen = tcore_base64_encodePieces(whole.data(), &joined, 1,
                                                               static_cast<int>(whole.size()));
                std::vector<char> text(whole.size(), 'x');
                tcore_base64_middle* job = tcore_base64_startMiddle(text.data(), before, m, middle);
                ASSERT_NE(job, nullptr);
                const int len = tcore_base64_finishAround(job, text.data(), {b, before}, {m, middle}, {a, after},
                                                          static_cast<int>(text.size()));
                ASSERT_EQ(len, wholeLen) << before << "+" << middle << "+" << after;
                ASSERT_EQ(text, whole) << before << "+" << middle << "+" << after;
            }
        }
    }
}

// A middle placed other than where the finished text has it is written
// again with the rest; a buffer too short for the text is refused as by
// the pieces encoder; a whole past 32-bit text lengths starts nothing.
TEST(Base64Test, MiddleMisplacedOrTooLongIsHandledWhole)
{
    const std::string bytes = "0123456789abcdefghij";
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    std::vector<char> whole(29, 'x');
    const tcore_bytes joined{p, 20};
    ASSERT_EQ(tcore_base64_encodePieces(whole.data(), &joined, 1, 29), 28);
    for (int startedAt : {4, 6}) {
        std::vector<char> text(29, 'x');
        tcore_base64_middle* job = tcore_base64_startMiddle(text.data(), startedAt, p + 5, 10);
        EXPECT_EQ(tcore_base64_finishAround(job, text.data(), {p, 5}, {p + 5, 10}, {p + 15, 5}, 29), 28);
        EXPECT_EQ(text, whole) << startedAt;
    }
    std::vector<char> text(29, 'x');
    EXPECT_EQ(tcore_base64_finishAround(nullptr, text.data(), {p, 5}, {p + 5, 10}, {p + 15, 5}, 29), 28);
    EXPECT_EQ(text, whole);
    tcore_base64_middle* job = tcore_base64_startMiddle(text.data(), 5, p + 5, 10);
    EXPECT_EQ(tcore_base64_finishAround(job, text.data(), {p, 5}, {p + 5, 10}, {p + 15, 5}, 27), TCORE_ERR_BUFSIZE);
    EXPECT_EQ(tcore_base64_startMiddle(text.data(), INT32_MAX / 4 * 3, p, 10), nullptr);
    EXPECT_EQ(tcore_base64_startMiddle(nullptr, 0, p, 10), nullptr);
    tcore_base64_dropMiddle(tcore_base64_startMiddle(text.data(), 2, p, 10));
    tcore_base64_dropMiddle(nullptr);
}

// Texts are decoded as they stand when the output has room for that, and
// through a copy without whitespace otherwise; both roads must agree,
// including on whitespace at the ends and on texts that are only that.
TEST(Base64Test, DecodesTheSameWhateverTheRoomOfTheOutput)
{
    struct Case {
        std::string text;
        int result;
        std::string prefix;
    };
    const Case cases[] = {
        {"YWJj", 3, "abc"},
        {"\nYWJj", 3, "abc"},
        {"  YWJj", 3, "abc"},
        {"YWJj \r\n-", 3, "abc"},
        {"YW\nJj\n\n\n\n", 3, "abc"},
        {"YWJj--", 3, "abc"},
        {" \n\n\n\n", 0, ""},
        {"----", TCORE_ERR_BUFSIZE, ""},
        {"YWJj*A==", TCORE_ERR_BASE64_CHAR, "abc"},
        {"YW Jj*A==", TCORE_ERR_BASE64_CHAR, "abc"},
    };
    for (const auto& c : cases) {
        int len = static_cast<int>(c.text.size());
        int needed = tcore_base64_decode(nullptr, c.text.c_str(), len, 0);
        for (int room : {needed, len / 4 * 3, len + 16}) {
            if (room < 0) continue;
            std::vector<unsigned char> out(static_cast<size_t>(room) + 1, 0xEE);
            int result = tcore_base64_decode(out.data(), c.text.c_str(), len, room);
            EXPECT_EQ(result, c.result) << c.text << " room " << room;
            EXPECT_EQ(std::string(out.begin(), out.begin() + static_cast<long>(c.prefix.size())), c.prefix)
                << c.text << " room " << room;
            EXPECT_EQ(out[static_cast<size_t>(room)], 0xEE) << "written past the room: " << c.text;
        }
    }
}
