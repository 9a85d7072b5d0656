// The call statistics: every export call counted under its own name, failed
// ones too, with its time; each copy of the module counts on its own.
#include <map>
#include <string>
#include <vector>

#include "token_fixture.h"

namespace {

struct Figures {
    std::uint64_t calls = 0;
    std::uint64_t nanoseconds = 0;
};

std::map<std::string, Figures> stats_of(const SkfModule& skf)
{
    std::vector<softskf_CallStat> rows(64);
    SKF_ULONG n = skf.softskf_callStats(rows.data(), static_cast<SKF_ULONG>(rows.size()));
    EXPECT_LE(n, rows.size());
    std::map<std::string, Figures> out;
    for (SKF_ULONG i = 0; i < n && i < rows.size(); ++i) out[rows[i].name] = {rows[i].calls, rows[i].nanoseconds};
    return out;
}

std::map<std::string, std::uint64_t> counts_of(const SkfModule& skf)
{
    std::map<std::string, std::uint64_t> out;
    for (const auto& [name, figures] : stats_of(skf)) out[name] = figures.calls;
    return out;
}

}  // namespace

TEST_F(TokenTest, CallStatsCountEveryCallByNameFailuresIncluded)
{
    ASSERT_NE(skf_.softskf_callStats, nullptr);
    ASSERT_NE(skf_.softskf_resetCallStats, nullptr);
    skf_.softskf_resetCallStats();
    EXPECT_TRUE(stats_of(skf_).empty());

    SKF_ULONG size = 0;
    ASSERT_EQ(skf_.SKF_EnumDev(TRUE, nullptr, &size), SAR_OK);
    ASSERT_EQ(skf_.SKF_EnumDev(TRUE, nullptr, &size), SAR_OK);
    DEVHANDLE dev = connect();
    DEVHANDLE missing = nullptr;
    EXPECT_NE(skf_.SKF_ConnectDev(const_cast<char*>("No Such Key"), &missing), SAR_OK);
    EXPECT_EQ(skf_.SKF_EnumDev(TRUE, nullptr, nullptr), SAR_INVALIDPARAMERR);
    ASSERT_EQ(skf_.SKF_DisConnectDev(dev), SAR_OK);

    auto stats = stats_of(skf_);
    EXPECT_EQ(counts_of(skf_), (std::map<std::string, std::uint64_t>{
                                   {"SKF_ConnectDev", 2}, {"SKF_DisConnectDev", 1}, {"SKF_EnumDev", 3}}));
    for (const auto& [name, figures] : stats) EXPECT_GT(figures.nanoseconds, 0u) << name;

    skf_.softskf_resetCallStats();
    EXPECT_TRUE(stats_of(skf_).empty());
}

TEST_F(TokenTest, CallStatsTellTheCountOfFunctionsBeyondTheCapacity)
{
    skf_.softskf_resetCallStats();
    SKF_ULONG size = 0;
    ASSERT_EQ(skf_.SKF_EnumDev(TRUE, nullptr, &size), SAR_OK);
    skf_.SKF_DisConnectDev(connect());

    softskf_CallStat one[2] = {};
    one[1].calls = 77;  // a guard the call must leave alone
    EXPECT_EQ(skf_.softskf_callStats(one, 1), 3u);
    EXPECT_STREQ(one[0].name, "SKF_ConnectDev");  // name order
    EXPECT_EQ(one[1].calls, 77u);
    EXPECT_EQ(skf_.softskf_callStats(nullptr, 0), 3u);
}

TEST_F(TokenTest, CallStatsAreKeptPerCopyOfTheModule)
{
    SkfModule vendor_b;
    install(vendor_b, "b", standard_state());
    skf_.softskf_resetCallStats();
    vendor_b.softskf_resetCallStats();
    SKF_ULONG size = 0;
    ASSERT_EQ(vendor_b.SKF_EnumDev(TRUE, nullptr, &size), SAR_OK);
    EXPECT_EQ(counts_of(vendor_b), (std::map<std::string, std::uint64_t>{{"SKF_EnumDev", 1}}));
    EXPECT_TRUE(counts_of(skf_).empty());
}
