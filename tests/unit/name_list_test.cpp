// Long name lists through a selection: a token's list of container names
// may be far longer than the first area the walk offers, and a token may
// give the size it needs only in its BUFFER_TOO_SMALL reply. Either way the
// certificates are found; only a list over the limit is refused, traced with
// its size, and the token's other applications are still walked.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "dsc_jna.h"
#include "selection_fixture.h"
#include "tcore_errors.h"
#include "token_vendor.h"
#include "trace_capture.h"

namespace {

// A GUID-like container name of 38 characters, as many vendors make them.
std::string guidName(int i)
{
    char name[40];
    std::snprintf(name, sizeof name, "{%08X-0000-4000-8000-%012d}", static_cast<unsigned>(i), i);
    return name;
}

// Application "app" holds `guids` empty GUID-named containers and, last,
// Zhang San's certificate; application "other" holds Li Si's.
std::string token(int guids, const std::vector<std::string>& faults)
{
    std::vector<std::string> containers;
    for (int i = 0; i < guids; ++i) containers.push_back(tokenContainer(guidName(i), ""));
    containers.push_back(tokenContainer(guidName(guids), "sm2_zhang"));
    return tokenState({tokenDevice("dev", "Label", "SN1",
                                   {tokenApplication("app", "111111", containers),
                                    tokenApplication("other", "111111", {tokenContainer("li", "sm2_li")})})},
                      faults);
}

struct Case {
    const char* name;
    std::string state;
    int zhang;  // Sgn_SelectCertByDn's answer for Zhang San
    const char* trace;
};

class NameListTest : public CleanSelection<::testing::Test> {};

}  // namespace

TEST_F(NameListTest, ListsLongerThanTheFirstAreaAreReadWholeUpToTheLimit)
{
    const std::string inApp = "\"application\": \"app\"";
    const Case cases[] = {
        // Seven GUID names (273 bytes) do not fit the first 256-byte area;
        // this token refuses the size query without a buffer.
        {"size only in the error reply", token(6, {tokenFault("SKF_EnumContainer", "size_only_in_error", inApp)}), 0,
         nullptr},
        // A list that claims 70,000 bytes (over 1,681 GUID names' worth) is
        // fetched whole.
        {"a list over 64 KiB", token(6, {tokenFault("SKF_EnumContainer", "length", inApp, "\"length\": 70000")}), 0,
         nullptr},
        // Over 1 MiB: refused and traced, and the other application is
        // still walked (Li Si is found).
        {"a list over the limit", token(6, {tokenFault("SKF_EnumContainer", "length", inApp, "\"length\": 2097152")}),
         DSC_ACX_ERR_NO_CERT, "skf_enumContainer name list of 2097152 bytes is over the limit of 1048576 bytes"},
    };
    for (const auto& c : cases) {
        RegisteredTokens tokens({c.state});
        TraceCapture trace;
        char out[4096] = {0};
        EXPECT_EQ(Sgn_SelectCertByDn("CN", "Zhang", out), c.zhang) << c.name;
        EXPECT_EQ(Sgn_SelectCertByDn("CN", "Li", out), 0) << c.name;
        if (c.trace != nullptr) {
            EXPECT_TRUE(trace.contains(c.trace)) << c.name;
        }
    }
}
