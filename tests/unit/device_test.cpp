#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "dsc_acx_device.h"
#include "tcore_errors.h"
#include "dsc_acx_selected.h"
#include "dsc_jna.h"
#include "temp_dir.h"
#include "test_registry.h"
#include "token_vendor.h"
#include "trace_capture.h"

namespace {

std::string app(const std::string& name = "app") { return tokenApplication(name, "111111", {}); }

// A caller's buffer with a guard area behind it, to see writes past outLen.
struct Buffer {
    std::vector<char> bytes;
    int len;
    explicit Buffer(int n) : bytes(static_cast<size_t>(n) + 16, '#'), len(n) {}
    char* data() { return bytes.data(); }
    std::string text() const { return std::string(bytes.data()); }
    bool guardIntact() const
    {
        for (size_t i = static_cast<size_t>(len); i < bytes.size(); ++i)
            if (bytes[i] != '#') return false;
        return true;
    }
};

std::string devEnum(const char* separator, int outLen = 256)
{
    Buffer out(outLen);
    int rc = Sgn_Dev_Enum(separator, out.data(), out.len);
    EXPECT_TRUE(out.guardIntact());
    return rc == 0 ? out.text() : "error " + std::to_string(rc);
}

}  // namespace

TEST(DeviceTest, EnumJoinsLabels)
{
    {
        RegisteredTokens one({tokenState({tokenDevice("d1", "A", "SN1", {app()})})});
        EXPECT_EQ(devEnum("|"), "A");
        EXPECT_EQ(devEnum(nullptr), "A");
    }
    RegisteredTokens two({tokenState({tokenDevice("d1", "A", "SN1", {app()}), tokenDevice("d2", "", "SN2", {app()}),
                                      tokenDevice("d3", "B", "SN3", {app()})})});
    EXPECT_EQ(devEnum(";;"), "A;;B");  // the whole separator goes, not one character of it
    EXPECT_EQ(devEnum(""), "A|B");
    EXPECT_EQ(devEnum("123456789012345"), "A123456789012345B");
    EXPECT_EQ(devEnum("1234567890123456"), "error -1001");  // longer than the separator area
    EXPECT_EQ(devEnum("|", 4), "A|B");
    EXPECT_EQ(devEnum("|", 3), "error -3054");  // no room for the terminator
    EXPECT_EQ(devEnum("|", 1), "error -3054");
    char out[8];
    EXPECT_EQ(Sgn_Dev_Enum("|", nullptr, 8), DSC_ACX_ERR_ARG);
    EXPECT_EQ(Sgn_Dev_Enum("|", out, 0), DSC_ACX_ERR_ARG);
}

TEST(DeviceTest, LabelsMustBeUnique)
{
    RegisteredTokens tokens(
        {tokenState({tokenDevice("d1", "Same", "SN1", {app()}), tokenDevice("d2", "Same", "SN2", {app()}),
                     tokenDevice("d3", "Third", "SN3", {app()})})});
    char out[64];
    EXPECT_EQ(Sgn_Dev_Enum("|", out, 64), DSC_ACX_ERR_DUPLICATE_LABEL);
    EXPECT_EQ(Sgn_Dev_GetSerialNumber("Third", out, 64), DSC_ACX_ERR_DUPLICATE_LABEL);
    EXPECT_EQ(Sgn_Dev_GetUserData("Third", out, 64), DSC_ACX_ERR_DUPLICATE_LABEL);
    EXPECT_EQ(Sgn_Dev_ChangePin_ex("Third", "111111", "222222"), DSC_ACX_ERR_DUPLICATE_LABEL);
}

TEST(DeviceTest, SameTokenThroughTwoLibrariesCountsOnce)
{
    std::string state = tokenState({tokenDevice("d1", "A", "SN1", {app()})});
    RegisteredTokens tokens({state, state});
    EXPECT_EQ(devEnum("|"), "A");
    Buffer sn(16);
    EXPECT_EQ(Sgn_Dev_GetSerialNumber("A", sn.data(), sn.len), 0);
    EXPECT_EQ(sn.text(), "SN1");
}

TEST(DeviceTest, SerialNumberAndUserData)
{
    RegisteredTokens tokens({tokenState(
        {tokenDevice("d1", "A", "SN-12345", {app()}, "user data of A"), tokenDevice("d2", "B", "SN-2", {app()})})});
    struct Case {
        const char* label;
        int outLen;
        bool userData;
        int result;
        std::string text;
    };
    const Case cases[] = {
        {"A", 9, false, 0, "SN-12345"},
        {"A", 8, false, DSC_ACX_ERR_DEV_BUFFER, ""},  // exactly outLen characters
        {"A", 64, true, 0, "user data of A"},
        {"B", 64, true, DSC_ACX_ERR_EMPTY_TEXT, ""},
        {"C", 64, false, DSC_ACX_ERR_NO_SUCH_LABEL, ""},
        {"a", 64, false, DSC_ACX_ERR_NO_SUCH_LABEL, ""},  // labels compare case-sensitively
        {"", 64, true, DSC_ACX_ERR_AMBIGUOUS_DEVICE, ""},
        {nullptr, 64, true, DSC_ACX_ERR_AMBIGUOUS_DEVICE, ""},
    };
    for (const auto& c : cases) {
        Buffer out(c.outLen);
        int rc = c.userData ? Sgn_Dev_GetUserData(c.label, out.data(), out.len)
                            : Sgn_Dev_GetSerialNumber(c.label, out.data(), out.len);
        EXPECT_EQ(rc, c.result) << (c.label ? c.label : "(null)") << " " << c.outLen;
        if (rc == 0) {
            EXPECT_EQ(out.text(), c.text);
        }
        EXPECT_TRUE(out.guardIntact());
    }
    Buffer out(64);
    EXPECT_EQ(Sgn_Dev_GetSerialNumber(nullptr, out.data(), out.len), DSC_ACX_ERR_ARG);
    EXPECT_EQ(Sgn_Dev_GetSerialNumber("A", out.data(), 0), DSC_ACX_ERR_ARG);
    EXPECT_EQ(Sgn_Dev_GetSerialNumber("A", nullptr, 64), DSC_ACX_ERR_ARG);
    EXPECT_EQ(Sgn_Dev_GetUserData("A", nullptr, 64), DSC_ACX_ERR_ARG);
}

TEST(DeviceTest, OnlyDeviceNeedsNoLabel)
{
    RegisteredTokens tokens({tokenState({tokenDevice("d1", "", "SN1", {app()}, "only one")})});
    EXPECT_EQ(devEnum("|"), "error -3062");  // its empty label is not listed
    Buffer out(64);
    EXPECT_EQ(Sgn_Dev_GetUserData(nullptr, out.data(), out.len), 0);
    EXPECT_EQ(out.text(), "only one");
}

TEST(DeviceTest, NoTokenAnywhere)
{
    test_registry_clear();
    char out[64];
    EXPECT_EQ(Sgn_Dev_Enum(nullptr, out, 64), DSC_ACX_ERR_NO_DEVICE);
    EXPECT_EQ(Sgn_Dev_GetSerialNumber("A", out, 64), DSC_ACX_ERR_NO_DEVICE);
    EXPECT_EQ(Sgn_Dev_ChangePin_ex("A", "111111", ""), DSC_ACX_ERR_NO_DEVICE);  // before the argument check
    RegisteredTokens empty({tokenState({})});
    EXPECT_EQ(Sgn_Dev_Enum(nullptr, out, 64), DSC_ACX_ERR_NO_DEVICE);
}

TEST(DeviceTest, ChangePin)
{
    RegisteredTokens tokens(
        {tokenState({tokenDevice("d1", "A", "SN1", {app("app1")}),
                     tokenDevice("d2", "Two", "SN2", {app("x"), app("y")}), tokenDevice("d3", "None", "SN3", {})})});
    EXPECT_EQ(Sgn_Dev_ChangePin_ex("A", "111111", ""), DSC_ACX_ERR_ARG);
    EXPECT_EQ(Sgn_Dev_ChangePin_ex("A", nullptr, "2"), DSC_ACX_ERR_ARG);
    EXPECT_EQ(Sgn_Dev_ChangePin_ex("Two", "111111", "222222"), DSC_ACX_ERR_SEVERAL_APPLICATIONS);
    EXPECT_EQ(Sgn_Dev_ChangePin_ex("None", "111111", "222222"), DSC_ACX_ERR_NO_APPLICATION);
    EXPECT_EQ(Sgn_Dev_ChangePin_ex(nullptr, "111111", "222222"), DSC_ACX_ERR_AMBIGUOUS_DEVICE);
    EXPECT_EQ(Sgn_Dev_ChangePin_ex("A", "000000", "222222"), DSC_ACX_ERR_CHANGE_PIN);
    EXPECT_NE(tokens.vendor(0).state().find("\"retries_left\": 5"), std::string::npos);
    EXPECT_EQ(Sgn_Dev_ChangePin_ex("A", "111111", "222222"), 0);
    EXPECT_NE(tokens.vendor(0).state().find("\"222222\""), std::string::npos);
}

TEST(DeviceTest, BrokenLibraryDoesNotHideTheOthers)
{
    TempDir dir;
    TokenVendor good(libraryFileName("good"), tokenState({tokenDevice("d1", "Good", "SN1", {app()})}));
    TokenVendor bad(libraryFileName("bad"),
                    tokenState({tokenDevice("d9", "Bad", "SN9", {app()})}, {tokenFault("SKF_EnumDev", "fail")}));
    test_registry_install(providerRegistration(
        {{"A missing", dir.file(libraryFileName("missing"))}, {"B bad", bad.path()}, {"C good", good.path()}}));
    TraceCapture trace;
    EXPECT_EQ(devEnum("|"), "Good");
    EXPECT_TRUE(
        trace.contains("find SKF certs with " + dir.file(libraryFileName("missing")) + " failed -1041, find continue"));
    EXPECT_TRUE(trace.contains("dsc_acx_getSKFDev (tutil_skf_findAllDev)  fail " + bad.path() + ", -160141"));
    test_registry_clear();
}

// A label or serial number of 32 characters fills its DEVINFO field without
// a NUL: it is a 32-character value, and the device is listed, read and
// found by that serial number like any other.
TEST(DeviceTest, FullWidthLabelAndSerialNumber)
{
    const std::string label(32, 'L');
    const std::string serial = "0123456789ABCDEF0123456789ABCDEF";
    RegisteredTokens tokens({tokenState(
        {tokenDevice("d1", label, serial, {tokenApplication("app", "111111", {tokenContainer("c1", "sm2_li")})}),
         tokenDevice("d2", "Short", "SN2", {app()})})});
    EXPECT_EQ(devEnum("|"), label + "|Short");
    Buffer out(64);
    ASSERT_EQ(Sgn_Dev_GetSerialNumber(label.c_str(), out.data(), out.len), 0);
    EXPECT_EQ(out.text(), serial);
    char cert[4096];
    EXPECT_EQ(Sgn_SelectCertByKeySn(serial.c_str(), cert, sizeof cert), 0);
    EXPECT_EQ(Sgn_SelectCertByKeySn(serial.substr(0, 31).c_str(), cert, sizeof cert), DSC_ACX_ERR_NO_CERT);
    dsc_acx_releaseSelectedCert();
}
