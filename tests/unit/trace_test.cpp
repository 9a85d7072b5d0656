#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "trace_capture.h"
#include "tcore_trace.h"

TEST(TraceTest, PrefixAndMessageAreNotSeparated)
{
    TraceCapture trace;
    tcore_trace("f", 7, "x");
    tcore_trace("tutil_skf_cus", 120, "tutil_skf_sign failed %d (%d)", -160011, 0x0A000005);
    ASSERT_EQ(trace.entries().size(), 2u);
    EXPECT_EQ(trace.entries()[0], "(f 7)x");
    EXPECT_EQ(trace.entries()[1], "(tutil_skf_cus 120)tutil_skf_sign failed -160011 (167772165)");
}

TEST(TraceTest, LongMessageIsCutAt8190Characters)
{
    TraceCapture trace;
    std::string message(9000, 'm');
    tcore_trace("f", 1, "%s", message.c_str());
    ASSERT_EQ(trace.entries().size(), 1u);
    EXPECT_EQ(trace.entries()[0].size(), 8190u);
    EXPECT_EQ(trace.entries()[0].substr(0, 6), "(f 1)m");
}

TEST(TraceTest, SystemErrorCarriesTheLastErrorAndTheCallName)
{
    TraceCapture trace;
    SetLastError(87);
    tcore_traceSysError("tgsp/src/tcore/tcore_misc_win", 42, "MultiByteToWideChar");
    ASSERT_EQ(trace.entries().size(), 1u);
    EXPECT_EQ(trace.entries()[0], "(tgsp/src/tcore/tcore_misc_win 42) 87, MultiByteToWideChar");
}

TEST(TraceTest, LongSystemErrorTextIsCutAt2046Characters)
{
    TraceCapture trace;
    std::string what(3000, 'w');
    tcore_traceSysError("f", 1, what.c_str());
    ASSERT_EQ(trace.entries().size(), 1u);
    EXPECT_EQ(trace.entries()[0].size(), 2046u);
}

TEST(TraceTest, WithoutSinkNothingIsFormatted)
{
    tcore_setTraceSink(nullptr);
    // Formatting would read the bogus text pointer and crash.
    const char* neverRead = reinterpret_cast<const char*>(static_cast<uintptr_t>(1));
    tcore_trace("f", 1, "%s", neverRead);
    tcore_traceSysError(neverRead, 1, neverRead);
    SUCCEED();
}
