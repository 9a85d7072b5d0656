// An exception that escapes an export's body reaches the host as the
// internal-error code, never as an unwinding into the host's frames. The
// exception is raised from the error trace's sink, the one hook the library
// calls back into from deep inside a real export's work.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "dsc_jna.h"
#include "dsc_jna_entry.h"
#include "fixtures.h"
#include "tcore_errors.h"
#include "tcore_trace.h"

namespace {

std::vector<std::string> traced;
bool throwNext = false;

// Throws on the first entry after arming, records every later one.
void throwingSink(const char* text)
{
    if (throwNext) {
        throwNext = false;
        throw std::runtime_error("sink refused");
    }
    traced.emplace_back(text);
}

class ExportGuardTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        traced.clear();
        throwNext = true;
        tcore_setTraceSink(throwingSink);
    }
    void TearDown() override { tcore_setTraceSink(nullptr); }
};

bool tracedFragment(const std::string& fragment)
{
    for (const auto& entry : traced)
        if (entry.find(fragment) != std::string::npos) return true;
    return false;
}

}  // namespace

TEST_F(ExportGuardTest, ExceptionInsideAnExportBecomesTheInternalErrorCode)
{
    char out[64] = {0};
    // Loading the text fails and is traced: the sink throws there.
    EXPECT_EQ(Sgn_GetCertProperty("not a certificate", "CN", out, sizeof out), DSC_JNA_ERR_INTERNAL);
    EXPECT_FALSE(throwNext) << "the export never reached the trace";
    EXPECT_TRUE(tracedFragment("(dsc_jna/dsc_jna "));
    EXPECT_TRUE(tracedFragment("an exception escaped the export, -10001: sink refused"));

    // The lock was given back and the library still answers.
    const std::string cert = base64Of(fixture("certs/rsa_sign.der"));
    EXPECT_EQ(Sgn_GetCertProperty(cert.c_str(), "CN", out, sizeof out), 0);
    EXPECT_STREQ(out, "rsa user");
}

// Each shape of export answers in its own kind: a code, the code's text
// (which Sgn_Free takes back), or nothing; a foreign exception as well.
TEST_F(ExportGuardTest, EveryReturnShapeGetsTheInternalError)
{
    throwNext = false;
    EXPECT_EQ(dsc_jna_export([]() -> int { throw std::logic_error("int body"); }), DSC_JNA_ERR_INTERNAL);
    char* text = dsc_jna_export([]() -> char* { throw 42; });
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "-10001");
    Sgn_Free(text);
    dsc_jna_export([]() { throw std::runtime_error("void body"); });
    EXPECT_TRUE(tracedFragment("-10001: int body"));
    EXPECT_TRUE(tracedFragment("-10001: not a standard exception"));
    EXPECT_TRUE(tracedFragment("-10001: void body"));
}
