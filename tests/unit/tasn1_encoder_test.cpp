#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "fixtures.h"
#include "tcore_errors.h"
#include "tasn1_item.h"
#include "tcore_mem.h"

namespace {

tasn1_item contents(const std::string& bytes, unsigned char tag, int tagMode = TASN1_TAG_PLAIN, int ctxTag = 0)
{
    return tasn1_item{bytesOf(bytes), lengthOf(bytes), 0, tagMode, static_cast<uint8_t>(ctxTag), tag};
}

tasn1_item encoded(const std::string& bytes, int tagMode = TASN1_TAG_PLAIN, int ctxTag = 0)
{
    return tasn1_item{bytesOf(bytes), lengthOf(bytes), 1, tagMode, static_cast<uint8_t>(ctxTag), 0};
}

// Items over string literals, whose bytes outlive the item.
tasn1_item contents(const char* literal, unsigned char tag, int tagMode = TASN1_TAG_PLAIN, int ctxTag = 0)
{
    return tasn1_item{reinterpret_cast<const unsigned char*>(literal),
                      static_cast<int32_t>(std::strlen(literal)),
                      0,
                      tagMode,
                      static_cast<uint8_t>(ctxTag),
                      tag};
}

tasn1_item encoded(const char* literal, int tagMode, int ctxTag)
{
    tasn1_item item = contents(literal, 0, tagMode, ctxTag);
    item.isEncoded = 1;
    return item;
}

// Encodes into a buffer of exactly the announced size, so that a write past
// it is seen by the sanitizers.
std::string encode(const tasn1_item& item)
{
    int size = tasn1_item_size(&item);
    if (size < 0) return "error " + std::to_string(size);
    std::vector<unsigned char> buf(static_cast<size_t>(size));
    int n = tasn1_item_encode(&item, buf.data(), size);
    if (n != size) return "written " + std::to_string(n) + " of " + std::to_string(size);
    return hexOf(std::string(buf.begin(), buf.end()));
}

std::string encode(tasn1_seq* seq)
{
    int size = tasn1_seq_size(seq);
    std::vector<unsigned char> buf(static_cast<size_t>(size));
    int n = tasn1_seq_encode(seq, buf.data(), size);
    if (n != size) return "written " + std::to_string(n) + " of " + std::to_string(size);
    return hexOf(std::string(buf.begin(), buf.end()));
}

}  // namespace

TEST(Asn1LengthTest, ShortAndLongFormsAreMinimal)
{
    struct Case {
        int value;
        const char* der;
    };
    const Case cases[] = {{0, "00"},
                          {127, "7F"},
                          {128, "8180"},
                          {255, "81FF"},
                          {256, "820100"},
                          {65535, "82FFFF"},
                          {65536, "83010000"},
                          {0x1000000, "8401000000"},
                          {INT32_MAX, "847FFFFFFF"}};
    for (const auto& c : cases) {
        unsigned char out[5] = {0};
        int n = tasn1_len_encode(out, sizeof out, c.value);
        EXPECT_EQ(hexOf(std::string(reinterpret_cast<char*>(out), n > 0 ? n : 0)), c.der) << c.value;
        EXPECT_EQ(tasn1_len_encode(nullptr, 0, c.value), n) << "size only";
    }
    unsigned char small[2];
    EXPECT_EQ(tasn1_len_encode(small, 2, 65536), TCORE_ERR_BUFSIZE);
    EXPECT_EQ(tasn1_len_encode(small, 2, -1), TCORE_ERR_PARAM);
}

TEST(Asn1ItemTest, PlainExplicitAndImplicitTagging)
{
    const std::string body = unhex("01 02");
    const std::string set = unhex("31 03 02 01 05");
    struct Case {
        const char* what;
        tasn1_item item;
        const char* der;
    };
    const Case cases[] = {
        {"plain contents", contents(body, TASN1_OCTET_STRING), "04020102"},
        {"plain pre-encoded", encoded(set), "3103020105"},
        {"explicit contents", contents(body, TASN1_OCTET_STRING, TASN1_TAG_EXPLICIT, 0), "A00404020102"},
        {"explicit pre-encoded", encoded(set, TASN1_TAG_EXPLICIT, 1), "A1053103020105"},
        {"implicit contents", contents(body, TASN1_OCTET_STRING, TASN1_TAG_IMPLICIT, 0), "A0020102"},
        {"implicit pre-encoded", encoded(set, TASN1_TAG_IMPLICIT, 0), "A003020105"},
        {"empty contents", contents("", TASN1_OCTET_STRING), "0400"},
        {"empty explicit", contents("", TASN1_OCTET_STRING, TASN1_TAG_EXPLICIT, 0), "A0020400"},
    };
    for (const auto& c : cases) EXPECT_EQ(encode(c.item), c.der) << c.what;
}

TEST(Asn1ItemTest, ExplicitTagAroundLongContentsUsesLongLengths)
{
    // 200 bytes of content: the OCTET STRING needs 81 C8, its wrapper 81 CB.
    const std::string content(200, '\x5A');
    std::string der = encode(contents(content, TASN1_OCTET_STRING, TASN1_TAG_EXPLICIT, 0));
    EXPECT_EQ(der.substr(0, 12), "A081CB0481C8");
    EXPECT_EQ(der.size(), 2u * (6 + 200));
}

TEST(Asn1ItemTest, RefusesWhatCannotBeEncoded)
{
    unsigned char buf[16];
    tasn1_item bad = contents("ab", TASN1_OCTET_STRING, 3);
    EXPECT_EQ(tasn1_item_size(&bad), TASN1_ERR_ITEM);
    EXPECT_EQ(tasn1_item_encode(&bad, buf, sizeof buf), TASN1_ERR_ITEM);
    tasn1_item emptyImplicit = encoded("", TASN1_TAG_IMPLICIT, 0);
    EXPECT_EQ(tasn1_item_size(&emptyImplicit), TASN1_ERR_ITEM);
    tasn1_item missingBytes{nullptr, 4, 1, TASN1_TAG_PLAIN, 0, 0};
    EXPECT_EQ(tasn1_item_size(&missingBytes), TCORE_ERR_PARAM);
    EXPECT_EQ(tasn1_item_size(nullptr), TCORE_ERR_PARAM);

    tasn1_item ok = contents("abc", TASN1_OCTET_STRING);
    EXPECT_EQ(tasn1_item_encode(&ok, buf, 4), TCORE_ERR_BUFSIZE);
    EXPECT_EQ(tasn1_item_encode(&ok, nullptr, 16), TCORE_ERR_PARAM);
    EXPECT_EQ(tasn1_item_encode(&ok, buf, 0), TCORE_ERR_PARAM);
    EXPECT_EQ(tasn1_item_encode(nullptr, buf, 16), TCORE_ERR_PARAM);
}

TEST(Asn1SeqTest, CollectionsKeepInsertionOrderAndGrow)
{
    tasn1_seq* empty = tasn1_seq_new(0);
    EXPECT_EQ(encode(empty), "3000");
    tasn1_seq_free(empty);

    // More items than the initial 16 slots; a SET is not sorted.
    tasn1_seq* set = tasn1_seq_new(1);
    std::vector<std::string> values;
    for (int i = 0; i < 40; ++i) values.push_back(std::string(1, static_cast<char>(40 - i)));
    std::string expected = "3178";
    for (const auto& v : values) {
        tasn1_item item = contents(v, TASN1_INTEGER);
        ASSERT_EQ(tasn1_seq_add(set, &item), 0);
        expected += "0201" + hexOf(v);
    }
    EXPECT_EQ(set->count, 40);
    EXPECT_EQ(set->capacity, 64);
    EXPECT_EQ(encode(set), expected);

    tasn1_item* item = tasn1_seq_toItem(set);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->isEncoded, 1);
    EXPECT_EQ(hexOf(std::string(reinterpret_cast<const char*>(item->data), item->len)), expected);
    tasn1_item_free(item);
    tasn1_seq_free(set);

    tasn1_item any = contents("x", TASN1_INTEGER);
    EXPECT_EQ(tasn1_seq_add(nullptr, &any), TCORE_ERR_PARAM);
    EXPECT_EQ(tasn1_seq_size(nullptr), 0);
    EXPECT_EQ(tasn1_seq_toItem(nullptr), nullptr);
}

TEST(Asn1SeqTest, ASmallBufferIsAnArgumentError)
{
    tasn1_seq* seq = tasn1_seq_new(0);
    tasn1_item item = contents("abc", TASN1_OCTET_STRING);
    tasn1_seq_add(seq, &item);
    unsigned char buf[7];
    EXPECT_EQ(tasn1_seq_encode(seq, buf, 6), TCORE_ERR_PARAM);
    EXPECT_EQ(tasn1_seq_encode(seq, buf, 7), 7);
    tasn1_seq_free(seq);
}

TEST(Asn1SeqTest, AnItemThatCannotBeSizedFailsTheCollection)
{
    tasn1_seq* seq = tasn1_seq_new(0);
    tasn1_item bad = encoded("", TASN1_TAG_IMPLICIT, 0);
    tasn1_seq_add(seq, &bad);
    EXPECT_EQ(tasn1_seq_toItem(seq), nullptr);
    tasn1_seq_free(seq);
}

TEST(Asn1TemplateTest, TableHoldsTheAlgorithmIdentifiers)
{
    struct Case {
        int kid;
        const char* der;
    };
    const Case cases[] = {
        {TASN1_KID_MD5, "300C06082A864886F70D02050500"},
        {TASN1_KID_SHA1, "300906052B0E03021A0500"},
        {TASN1_KID_SHA256, "300D06096086480165030402010500"},
        {TASN1_KID_SHA512, "300D06096086480165030402030500"},
        {TASN1_KID_SHA384, "300D06096086480165030402020500"},
        {TASN1_KID_SM3, "300C06082A811CCF550183110500"},
        {TASN1_KID_RSA, "300D06092A864886F70D0101010500"},
        {TASN1_KID_SM2, "301306072A8648CE3D020106082A811CCF5501822D"},
        {TASN1_KID_SM2_SIGN, "300D06092A811CCF5501822D010500"},
        {TASN1_KID_MD5_RSA, "300D06092A864886F70D0101040500"},
        {TASN1_KID_SHA1_RSA, "300D06092A864886F70D0101050500"},
        {TASN1_KID_SHA256_RSA, "300D06092A864886F70D01010B0500"},
        {TASN1_KID_SHA384_RSA, "300D06092A864886F70D01010C0500"},
        {TASN1_KID_SHA512_RSA, "300D06092A864886F70D01010D0500"},
    };
    for (const auto& c : cases) {
        const tasn1_item* t = tasn1_item_getByKid(c.kid);
        ASSERT_NE(t, nullptr) << c.kid;
        EXPECT_EQ(t->isEncoded, 1);
        EXPECT_EQ(t->tagMode, TASN1_TAG_PLAIN);
        EXPECT_EQ(hexOf(std::string(reinterpret_cast<const char*>(t->data), t->len)), c.der) << c.kid;
    }
    for (int kid : {0, 100, 106, 200, 212, 606, -1}) EXPECT_EQ(tasn1_item_getByKid(kid), nullptr) << kid;
}
