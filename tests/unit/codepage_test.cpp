#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "tcore_codepage.h"
#include "tcore_errors.h"
#include "tcore_mem.h"
#include "trace_capture.h"

namespace {

template <typename Unit>
struct Owned {
    Unit* p = nullptr;
    ~Owned() { tcore_free(p); }
};

}  // namespace

TEST(CodePageTest, EmptyTextFailsWithTheOperationsCodeAndTrace)
{
    TraceCapture trace;
    Owned<WCHAR> wide;
    Owned<char> text;
    EXPECT_EQ(tcore_mbToWide("", 0, &wide.p), TCORE_ERR_MBTOWIDE);
    EXPECT_EQ(tcore_utf8ToWide("", &wide.p), TCORE_ERR_UTF8TOWIDE);
    const WCHAR emptyWide[] = {0};
    EXPECT_EQ(tcore_wideToMb(emptyWide, 0, &text.p), TCORE_ERR_WIDETOMB);
    EXPECT_EQ(tcore_wideToUtf8(emptyWide, 0, &text.p), TCORE_ERR_WIDETOUTF8);
    EXPECT_EQ(tcore_mbToUtf8("", 0, &text.p), TCORE_ERR_MBTOWIDE);
    EXPECT_EQ(wide.p, nullptr);
    EXPECT_EQ(text.p, nullptr);
    ASSERT_EQ(trace.entries().size(), 5u);
    EXPECT_NE(trace.entries()[0].find("(tgsp/src/tcore/tcore_misc_win "), std::string::npos);
    EXPECT_NE(trace.entries()[0].find(", MultiByteToWideChar"), std::string::npos);
    EXPECT_NE(trace.entries()[2].find(", WideCharToMultiByte"), std::string::npos);
}

TEST(CodePageTest, NullArgumentsAreRejected)
{
    Owned<WCHAR> wide;
    Owned<char> text;
    EXPECT_EQ(tcore_mbToWide(nullptr, 0, &wide.p), TCORE_ERR_PARAM);
    EXPECT_EQ(tcore_mbToWide("a", 0, nullptr), TCORE_ERR_PARAM);
    EXPECT_EQ(tcore_utf8ToWide(nullptr, &wide.p), TCORE_ERR_PARAM);
    EXPECT_EQ(tcore_wideToUtf8(nullptr, 0, &text.p), TCORE_ERR_PARAM);
    EXPECT_EQ(tcore_mbToUtf8(nullptr, 0, &text.p), TCORE_ERR_PARAM);
    EXPECT_EQ(tcore_utf8ToMb("a", nullptr), TCORE_ERR_PARAM);
}

TEST(CodePageTest, Utf8RoundTripsThroughWideText)
{
    const std::string texts[] = {"CN=\xE5\xBC\xA0\xE4\xB8\x89", "plain ascii", "\xE2\x82\xAC 10",
                                 "\xF0\x9F\x98\x80 astral"};
    for (const auto& utf8 : texts) {
        Owned<WCHAR> wide;
        int units = tcore_utf8ToWide(utf8.c_str(), &wide.p);
        ASSERT_GT(units, 0) << utf8;
        EXPECT_EQ(wide.p[units], 0);
        Owned<char> back;
        int n = tcore_wideToUtf8(wide.p, 0, &back.p);
        EXPECT_EQ(n, static_cast<int>(utf8.size()));
        EXPECT_EQ(std::string(back.p), utf8);
    }
    Owned<WCHAR> wide;
    EXPECT_EQ(tcore_utf8ToWide("\xE5\xBC\xA0", &wide.p), 1);
    EXPECT_EQ(static_cast<unsigned>(wide.p[0]), 0x5F20u);
}

TEST(CodePageTest, Utf8ToWideIgnoresLengthAndInvalidBytesBecomeReplacement)
{
    Owned<WCHAR> wide;
    EXPECT_EQ(tcore_utf8ToWide("ab\xFF"
                               "c",
                               &wide.p),
              4);
    EXPECT_EQ(static_cast<unsigned>(wide.p[2]), 0xFFFDu);
    EXPECT_EQ(static_cast<unsigned>(wide.p[3]), static_cast<unsigned>('c'));
}

TEST(CodePageTest, LengthArgumentLimitsTheSource)
{
    Owned<WCHAR> wide;
    EXPECT_EQ(tcore_mbToWide("abcdef", 3, &wide.p), 3);
    EXPECT_EQ(wide.p[3], 0);
    Owned<char> text;
    EXPECT_EQ(tcore_wideToMb(wide.p, 2, &text.p), 2);
    EXPECT_STREQ(text.p, "ab");
}

TEST(CodePageTest, AsciiSurvivesTheSystemCodePage)
{
    Owned<char> utf8;
    EXPECT_EQ(tcore_mbToUtf8("SOFTWARE\\TARNO_II", 0, &utf8.p), 17);
    EXPECT_STREQ(utf8.p, "SOFTWARE\\TARNO_II");
    Owned<char> back;
    EXPECT_EQ(tcore_utf8ToMb(utf8.p, &back.p), 17);
    EXPECT_STREQ(back.p, "SOFTWARE\\TARNO_II");
}
