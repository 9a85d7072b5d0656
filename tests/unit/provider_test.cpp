#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tcore_errors.h"
#include "dsc_acx_provider.h"
#include "test_registry.h"
#include "trace_capture.h"

namespace {

const char* const kProviderRoot = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\TARNO_II\\Cryptography\\SKF\\Provider";

std::string provider(const std::string& name, const std::string* path)
{
    std::string text = std::string(kProviderRoot) + "\\" + name + "]\r\n";
    if (path != nullptr) text += "\"SKFImagePath\"=" + regString(*path) + "\r\n";
    return text + "\r\n";
}

std::string providerWithPath(const std::string& name, const std::string& path) { return provider(name, &path); }

std::vector<std::string> paths()
{
    char slots[DSC_ACX_MAX_PROVIDERS][DSC_ACX_SLOT];
    int n = dsc_acx_getSkfProviders(slots);
    std::vector<std::string> out;
    for (int i = 0; i < n; ++i) out.emplace_back(slots[i]);
    if (n < 0) out.push_back("error " + std::to_string(n));
    return out;
}

std::string numbered(const char* prefix, int i)
{
    char text[32];
    std::snprintf(text, sizeof text, "%s%02d", prefix, i);
    return text;
}

}  // namespace

class ProviderTest : public ::testing::Test {
protected:
    void TearDown() override { test_registry_clear(); }
};

TEST_F(ProviderTest, TakesOnlyTheFirstSixteenInEnumerationOrder)
{
    std::string reg = kRegHeader;
    for (int i = 19; i >= 0; --i) reg += providerWithPath(numbered("Vendor", i), numbered("/opt/skf/lib", i));
    test_registry_install(reg);

    char names[DSC_ACX_MAX_PROVIDERS][DSC_ACX_SLOT];
    ASSERT_EQ(dsc_acx_getSkfProviderNamesByWow(names), 16);
    EXPECT_STREQ(names[0], "Vendor00");
    EXPECT_STREQ(names[15], "Vendor15");
    std::vector<std::string> expected;
    for (int i = 0; i < 16; ++i) expected.push_back(numbered("/opt/skf/lib", i));
    EXPECT_EQ(paths(), expected);
}

TEST_F(ProviderTest, ProvidersWithoutUsablePathAreSkipped)
{
    const std::string tooLong(300, 'p');
    test_registry_install(std::string(kRegHeader) + providerWithPath("a", "/skf/a.so") + provider("b", nullptr) +
                          providerWithPath("C", "") + providerWithPath("d", tooLong) +
                          providerWithPath("E", "/skf/e.so"));
    TraceCapture trace;
    EXPECT_EQ(paths(), (std::vector<std::string>{"/skf/a.so", "/skf/e.so"}));
    EXPECT_TRUE(trace.contains("dsc_acx_getSkfProviderByWow tcore_wreg_getValue failed -1034 (-110027)"));
    EXPECT_TRUE(trace.contains("dsc_acx_getSkfProviderByWow tcore_wreg_getValue failed -1034 (-10003)"));
}

// A provider's key is read under the Provider key, so a name as long as a
// key name may be (255 characters) is found although the whole path from
// the root would not fit a slot.
TEST_F(ProviderTest, ProvidersWithLongNamesAreFound)
{
    const std::string longest(255, 'n'), long240(240, 'm');
    test_registry_install(std::string(kRegHeader) + providerWithPath(long240, "/skf/m.so") +
                          providerWithPath(longest, "/skf/n.so") + providerWithPath("short", "/skf/s.so"));
    char names[DSC_ACX_MAX_PROVIDERS][DSC_ACX_SLOT];
    ASSERT_EQ(dsc_acx_getSkfProviderNamesByWow(names), 3);
    EXPECT_EQ(names[0], long240);
    EXPECT_EQ(names[1], longest);
    EXPECT_EQ(paths(), (std::vector<std::string>{"/skf/m.so", "/skf/n.so", "/skf/s.so"}));
}

TEST_F(ProviderTest, MissingProviderKeyIsReportedAndTraced)
{
    test_registry_clear();
    TraceCapture trace;
    EXPECT_EQ(paths(), (std::vector<std::string>{"error -1035"}));
    EXPECT_TRUE(trace.contains("(dsc_acx/src/dsc_acx "));
    EXPECT_TRUE(trace.contains("dsc_acx_getSkfProviderNamesByWow tcore_wreg_getKeys failed -1035 (-110021)"));
}

TEST_F(ProviderTest, OneProviderPathByName)
{
    test_registry_install(std::string(kRegHeader) + providerWithPath("Vendor A", "C:\\skf\\a.dll"));
    char path[DSC_ACX_SLOT];
    EXPECT_EQ(dsc_acx_getSkfProviderByWow("Vendor A", path), 12);
    EXPECT_STREQ(path, "C:\\skf\\a.dll");
    EXPECT_EQ(dsc_acx_getSkfProviderByWow(nullptr, path), DSC_ACX_ERR_ARG);
    EXPECT_EQ(dsc_acx_getSkfProviderByWow("", path), DSC_ACX_ERR_ARG);
    EXPECT_EQ(dsc_acx_getSkfProviderByWow("Vendor B", path), DSC_ACX_ERR_PROVIDER_PATH);
    // A name that would overflow the key path is cut, not written past.
    std::string huge(600, 'n');
    EXPECT_EQ(dsc_acx_getSkfProviderByWow(huge.c_str(), path), DSC_ACX_ERR_PROVIDER_PATH);
}

// A provider written only to the 32-bit view is found by the 32-bit library
// and not by the x64 one; one written only to the 64-bit view the reverse.
TEST_F(ProviderTest, OnlyTheViewOfTheLibrarysBitnessIsRead)
{
    test_registry_clear();
    if (!test_registry_installInView(std::string(kRegHeader) + providerWithPath("Only32", "C:\\skf\\32.dll"), 32) ||
        !test_registry_installInView(std::string(kRegHeader) + providerWithPath("Only64", "C:\\skf\\64.dll"), 64))
        GTEST_SKIP() << "this platform has a single registry view";
    const bool x64 = sizeof(void*) == 8;
    EXPECT_EQ(paths(), (std::vector<std::string>{x64 ? "C:\\skf\\64.dll" : "C:\\skf\\32.dll"}));
    char path[DSC_ACX_SLOT];
    EXPECT_EQ(dsc_acx_getSkfProviderByWow(x64 ? "Only32" : "Only64", path), DSC_ACX_ERR_PROVIDER_PATH);
}

TEST_F(ProviderTest, LogPathFromTheRegistry)
{
    char path[DSC_ACX_SLOT] = {0};
    test_registry_clear();
    EXPECT_EQ(dsc_acx_getLogPath(path), DSC_ACX_ERR_LOG_PATH);
    test_registry_install(
        std::string(kRegHeader) +
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\TARNO_II\\Log]\r\n\"SignLogPath\"=\"C:\\\\logs\\\\sign.log\"\r\n");
    EXPECT_EQ(dsc_acx_getLogPath(path), 16);
    EXPECT_STREQ(path, "C:\\logs\\sign.log");
}
