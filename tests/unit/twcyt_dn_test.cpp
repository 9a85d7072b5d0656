#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tcore_errors.h"
#include "twcyt_dn.h"

namespace {

// The texts of a list the walk created, which is then released.
std::vector<std::string> textsOf(tcore_list* list)
{
    std::vector<std::string> out;
    for (int i = 0; list != nullptr && i < list->count; ++i) out.emplace_back(static_cast<const char*>(list->items[i]));
    tcore_list_free(list);
    return out;
}

std::vector<std::string> valuesOf(const char* dn, const char* field, int* count)
{
    tcore_list* list = nullptr;
    *count = twcyt_dn_getRdnValues(dn, field, &list);
    return textsOf(list);
}

std::vector<std::string> segmentsOf(const char* dn)
{
    tcore_list* list = nullptr;
    int n = twcyt_dn_split(dn, &list);
    std::vector<std::string> out = textsOf(list);
    if (n != static_cast<int>(out.size())) out.push_back("count " + std::to_string(n));
    return out;
}

using Texts = std::vector<std::string>;

}  // namespace

TEST(DnWalkTest, ValuesOfOneField)
{
    struct Case {
        const char* dn;
        const char* field;
        Texts values;
    };
    const Case cases[] = {
        {"CN=a=b, O=c", "CN", {"a=b"}},                       // an "=" with no separator before it is part of the value
        {"C=CN, O=Foo, Inc., CN=user1", "O", {"Foo, Inc."}},  // only the comma before the next "=" separates
        {"C=CN, O=Foo, Inc., CN=user1", "CN", {"user1"}},
        {"C=CN, O=Foo, Inc., CN=user1", "C", {"CN"}},
        {"C=CN, CN=a, CN=b + OU=c", "CN", {"a", "b"}},  // each attribute of a multi-valued RDN
        {"C=CN, CN=a, CN=b + OU=c", "OU", {"c"}},
        {"CN=x + O=z + OU=y, O=e", "O", {"z", "e"}},
        {"CN=\"a+b\" + OU=\"c=d\", O=e", "OU", {"c=d"}},
        // A quoted value that looks like fields is one value of its own field.
        {"O=\"Bank, CN=Alice\", CN=Mallory", "CN", {"Mallory"}},
        {"O=\"Bank, CN=Alice\", CN=Mallory", "O", {"Bank, CN=Alice"}},
        {"O=\"Acme, Inc.\", OU=\"Dev \"\"Team\"\"\"", "OU", {"Dev \"Team\""}},  // doubled quotes
        {"CN=\"\"\"1\"\"\"", "CN", {"\"1\""}},
        {"CN=\"\", O=b", "CN", {""}},
        {"CN=\" lead\", CN=\"trail \"", "CN", {" lead", "trail "}},
        {"CN=a\"b, O=c", "CN", {"a\"b"}},      // a quote inside a bare value is a character
        {"CN=\"open, O=c", "CN", {"\"open"}},  // an unclosed quote quotes nothing
        {"CN=\"a\"b, O=c", "CN", {"\"a\"b"}},  // nor one followed by more text
        {"CN=a,O=b", "O", {"b"}},              // no blank after the comma
        {"CN=a,  O=b", "O", {"b"}},
        {"CN=\"x=y\", O=b", "CN", {"x=y"}},  // an "=" inside a quoted value
        {"CN=\"x=y\", O=b", "O", {"b"}},
        {"CN=a=b=c", "CN", {"a=b=c"}},
        {"CN=user1", "cn", {}},  // case-sensitive names
        {"O=Org, CN=", "CN", {""}},
    };
    for (const auto& c : cases) {
        int count = -1;
        EXPECT_EQ(valuesOf(c.dn, c.field, &count), c.values) << c.dn << " / " << c.field;
        EXPECT_EQ(count, static_cast<int>(c.values.size())) << c.dn;
    }
    int count = -1;
    EXPECT_TRUE(valuesOf("no equals sign", "CN", &count).empty());
    EXPECT_EQ(count, 0);
    EXPECT_TRUE(valuesOf("", "CN", &count).empty());
    EXPECT_EQ(count, TCORE_ERR_PARAM);
    EXPECT_TRUE(valuesOf("CN=a", "", &count).empty());
    EXPECT_EQ(count, TCORE_ERR_PARAM);
    EXPECT_EQ(twcyt_dn_getRdnValues(nullptr, "CN", nullptr), TCORE_ERR_PARAM);
}

TEST(DnWalkTest, SegmentsStayWhole)
{
    EXPECT_EQ(segmentsOf("C=CN, O=Foo, Inc., CN=user1"), (Texts{"C=CN", "O=Foo, Inc.", "CN=user1"}));
    EXPECT_EQ(segmentsOf("CN=a,O=b"), (Texts{"CN=a", "O=b"}));
    EXPECT_EQ(segmentsOf("OU=\"Dev \"\"Team\"\"\", CN=a + OU=b"), (Texts{"OU=\"Dev \"\"Team\"\"\"", "CN=a + OU=b"}));
    EXPECT_EQ(segmentsOf("O=\"Bank, CN=Alice\", CN=Mallory"), (Texts{"O=\"Bank, CN=Alice\"", "CN=Mallory"}));
    EXPECT_EQ(segmentsOf("CN=\"a+b\" + OU=\"c, d\", O=e"), (Texts{"CN=\"a+b\" + OU=\"c, d\"", "O=e"}));
    EXPECT_EQ(segmentsOf("plain text"), (Texts{}));
    tcore_list* list = nullptr;
    EXPECT_EQ(twcyt_dn_split("", &list), TCORE_ERR_PARAM);
    EXPECT_EQ(list, nullptr);
}

TEST(DnCompareTest, SameRdnsInAnyOrder)
{
    struct Case {
        const char* a;
        const char* b;
        int result;
    };
    const Case cases[] = {
        {"C=CN, O=b, CN=a", "CN=a, C=CN, O=b", 0},
        {"CN=a, O=b", "CN=A, O=b", -1},  // case inside a segment counts
        {"CN=a, O=b", "CN=a,O=b", 0},    // the blank after the comma does not
        {"CN=a, O=b", "CN=a, O=b, OU=c", -1},
        {"CN=a, O=b, OU=c", "CN=a, O=b", -1},
        {"CN=a, CN=a", "CN=a, O=b", -1},
        {"O=Foo, Inc., CN=a", "CN=a, O=Foo, Inc.", 0},
        {"O=\"Bank, CN=Alice\", CN=Mallory", "CN=Alice, O=Bank, CN=Mallory", -1},
        {"O=\"Bank, CN=Alice\", CN=Mallory", "CN=Mallory, O=\"Bank, CN=Alice\"", 0},
        {"abc", "xyz", -1},  // texts without segments
        {"abc", "abc", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(twcyt_dn_compareUtf8(c.a, c.b), c.result) << c.a << " | " << c.b;
    EXPECT_EQ(twcyt_dn_compareUtf8("", "CN=a"), TCORE_ERR_PARAM);
    EXPECT_EQ(twcyt_dn_compareUtf8("CN=a", nullptr), TCORE_ERR_PARAM);
    EXPECT_EQ(twcyt_dn_compare("O=b, CN=a", "CN=a, O=b"), 0);
    EXPECT_EQ(twcyt_dn_compare("O=b, CN=a", "CN=a, O=c"), -1);
    EXPECT_EQ(twcyt_dn_compare(nullptr, "CN=a"), TCORE_ERR_PARAM);
}

namespace {

// The comparison as the segments define it: the same segments in any order,
// as many on each side; texts without segments only as the same text.
int bySegments(const std::string& a, const std::string& b)
{
    Texts sa = segmentsOf(a.c_str());
    Texts sb = segmentsOf(b.c_str());
    if (sa.empty() && sb.empty()) return a == b ? 0 : -1;
    auto covers = [](const Texts& x, const Texts& y) {
        for (const auto& s : x)
            if (std::find(y.begin(), y.end(), s) == y.end()) return false;
        return true;
    };
    return !sa.empty() && sa.size() == sb.size() && covers(sa, sb) && covers(sb, sa) ? 0 : -1;
}

// `count` OU segments numbered from 0, in reverse when `reversed`; the
// segment `changed` (if any) made "OU=x".
std::string manySegments(int count, bool reversed, int changed = -1)
{
    std::string dn;
    for (int i = 0; i < count; ++i) {
        int n = reversed ? count - 1 - i : i;
        dn += (i > 0 ? ", OU=" : "OU=") + (n == changed ? std::string("x") : std::to_string(n));
    }
    return dn;
}

}  // namespace

// A query split once and compared with many DNs gives, for every pair of a
// table of DNs, what twcyt_dn_compareUtf8 gives and what the segments say.
TEST(DnCompareTest, APreparedQueryComparesAsTheSegmentsSay)
{
    const std::vector<std::string> dns = {
        "C=CN, O=b, CN=a",
        "CN=a, C=CN, O=b",
        "CN=A, O=b",
        "CN=a, O=b",
        "CN=a,O=b",
        "CN=a, O=b, OU=c",
        "CN=a, CN=a",
        "CN=a, CN=a, O=b",
        "CN=a, O=b, O=b",
        "O=Foo, Inc., CN=a",
        "CN=a, O=Foo, Inc.",
        "O=\"Bank, CN=Alice\", CN=Mallory",
        "CN=Alice, O=Bank, CN=Mallory",
        "CN=Mallory, O=\"Bank, CN=Alice\"",
        "CN=a + OU=b, O=c",
        "OU=b + CN=a, O=c",
        "O=c, CN=a + OU=b",
        "CN=\"a+b\" + OU=\"c, d\", O=e",
        "O=\"Dev \"\"Team\"\"\", CN=q",
        "CN=q, O=\"Dev \"\"Team\"\"\"",
        "CN=",
        "CN=, O=",
        "=",
        "abc",
        "xyz",
        "CN=张三, O=测试",
        "O=测试, CN=张三",
        manySegments(70, false),
        manySegments(70, true),
        manySegments(70, true, 33),
        manySegments(69, false),
    };
    for (const auto& query : dns) {
        twcyt_dnQuery* prepared = twcyt_dn_prepare(query.c_str());
        ASSERT_NE(prepared, nullptr);
        for (const auto& dn : dns) {
            SCOPED_TRACE(dn + " | " + query);
            int expected = bySegments(dn, query);
            EXPECT_EQ(twcyt_dn_compareWith(prepared, dn.c_str()), expected);
            EXPECT_EQ(twcyt_dn_compareUtf8(dn.c_str(), query.c_str()), expected);
        }
        EXPECT_EQ(twcyt_dn_compareWith(prepared, ""), TCORE_ERR_PARAM);
        EXPECT_EQ(twcyt_dn_compareWith(prepared, nullptr), TCORE_ERR_PARAM);
        twcyt_dn_freeQuery(prepared);
    }
    // The cases the table shows, by name.
    EXPECT_EQ(bySegments(manySegments(70, false), manySegments(70, true)), 0);
    EXPECT_EQ(bySegments(manySegments(70, false), manySegments(70, true, 33)), -1);
    EXPECT_EQ(twcyt_dn_prepare(""), nullptr);
    EXPECT_EQ(twcyt_dn_prepare(nullptr), nullptr);
    EXPECT_EQ(twcyt_dn_compareWith(nullptr, "CN=a"), TCORE_ERR_PARAM);
    twcyt_dn_freeQuery(nullptr);
}
