#include <gtest/gtest.h>

#include <string>

#include "tcore_errors.h"
#include "temp_dir.h"
#include "token_vendor.h"
#include "trace_capture.h"
#include "tutil_skf_cus.h"

TEST(SkfProviderTest, EachPathLoadsOnceAndGetsTheNextId)
{
    TokenVendor a(libraryFileName("vendor_a"), tokenState({}));
    TokenVendor b(libraryFileName("vendor_b"), tokenState({}));
    int idA = tutil_skf_load(a.path().c_str());
    ASSERT_GE(idA, TUTIL_SKF_FIRST_PROVIDER_ID);
    EXPECT_EQ(tutil_skf_load(a.path().c_str()), idA);
    int idB = tutil_skf_load(b.path().c_str());
    EXPECT_EQ(idB, idA + 1);
    tutil_skf_provider* p = tutil_skf_findProviderById(idA);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(std::string(p->path), a.path());
    EXPECT_EQ(tutil_skf_findProviderByPath(a.path().c_str()), p);
    EXPECT_EQ(tutil_skf_findProviderById(idB + 1000), nullptr);
    EXPECT_NE(p->skf_changePIN, nullptr);
}

TEST(SkfProviderTest, MissingFunctionIsNamedByNumberAndTheLibraryUnloaded)
{
    TraceCapture trace;
    EXPECT_EQ(tutil_skf_load(PARTIAL_SKF_MODULE_PATH), TUTIL_SKF_ERR_FUNCTION);
    ASSERT_EQ(trace.entries().size(), 1u);
    EXPECT_NE(trace.entries()[0].find("(tutil_skf_cus "), std::string::npos);
    EXPECT_NE(trace.entries()[0].find(")get func (No.18) addr failed "), std::string::npos) << trace.entries()[0];
    EXPECT_FALSE(moduleIsLoaded(PARTIAL_SKF_MODULE_PATH));
    EXPECT_EQ(tutil_skf_findProviderByPath(PARTIAL_SKF_MODULE_PATH), nullptr);
}

TEST(SkfProviderTest, UnloadableFilesAreTracedWithTheirPath)
{
    TempDir dir;
    dir.write(libraryFileName("not_a_library"), "this is text, not code");
    struct Case {
        std::string path;
    };
    const Case cases[] = {{dir.file(libraryFileName("not_a_library"))}, {dir.file(libraryFileName("missing"))}};
    for (const auto& c : cases) {
        TraceCapture trace;
        EXPECT_EQ(tutil_skf_load(c.path.c_str()), TUTIL_SKF_ERR_LOAD) << c.path;
        EXPECT_TRUE(trace.contains(", LoadLibrary")) << c.path;
        EXPECT_TRUE(trace.contains("tutil_skf_load " + c.path + " failed")) << c.path;
    }
    EXPECT_EQ(tutil_skf_load(nullptr), TCORE_ERR_PARAM);
    EXPECT_EQ(tutil_skf_load(""), TCORE_ERR_PARAM);
}
