#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fixtures.h"
#include "temp_dir.h"
#include "token_vendor.h"
#include "trace_capture.h"
#include "tutil_skf_cus.h"

namespace {

// Two devices: dev1 with two applications and four containers (SM2, RSA,
// SM2 / SM2), dev2 with one.
std::string twoDevices(std::initializer_list<std::string> faults = {})
{
    return tokenState(
        {tokenDevice("dev1", "Token A", "SN-A",
                     {tokenApplication("app1", "111111",
                                       {tokenContainer("c1", "sm2_zhang"), tokenContainer("c2", "rsa_wang"),
                                        tokenContainer("c3", "sm2_li")}),
                      tokenApplication("app2", "222222", {tokenContainer("c4", "sm2_li")})}),
         tokenDevice("dev2", "Token B", "SN-B",
                     {tokenApplication("appB", "333333", {tokenContainer("cb", "sm2_zhang")})})},
        faults);
}

std::vector<std::string> describe(const tcore_list* list)
{
    std::vector<std::string> out;
    for (int i = 0; list != nullptr && i < list->count; ++i) {
        auto* c = static_cast<const tutil_skf_cert*>(list->items[i]);
        out.push_back(std::string(c->deviceName) + "/" + c->applicationName + "/" + c->containerName + ":" +
                      std::to_string(c->containerType));
    }
    return out;
}

struct Walk {
    int result;
    std::vector<std::string> found;
};

Walk findAll(const std::string& state)
{
    TokenVendor vendor(libraryFileName("walk"), state);
    int id = tutil_skf_load(vendor.path().c_str());
    tcore_list* list = nullptr;
    Walk w{tutil_skf_findAllCerts(id, &list), describe(list)};
    tcore_list_free(list);
    return w;
}

const std::vector<std::string> kAll = {"dev1/app1/c1:2", "dev1/app1/c2:1", "dev1/app1/c3:2", "dev1/app2/c4:2",
                                       "dev2/appB/cb:2"};

std::vector<std::string> without(std::initializer_list<std::string> gone)
{
    std::vector<std::string> out;
    for (const auto& r : kAll) {
        bool keep = true;
        for (const auto& g : gone) keep = keep && r.find(g) == std::string::npos;
        if (keep) out.push_back(r);
    }
    return out;
}

}  // namespace

TEST(SkfWalkTest, FindsTheSigningCertificateOfEveryContainer)
{
    TokenVendor vendor(libraryFileName("walk"), twoDevices());
    int id = tutil_skf_load(vendor.path().c_str());
    tcore_list* list = nullptr;
    ASSERT_EQ(tutil_skf_findAllCerts(id, &list), 5);
    EXPECT_EQ(describe(list), kAll);
    auto* first = static_cast<tutil_skf_cert*>(list->items[0]);
    EXPECT_EQ(
        std::string(reinterpret_cast<const char*>(first->certificate), static_cast<size_t>(first->certificateLen)),
        tokenCertificate("sm2_zhang"));
    EXPECT_EQ(first->providerId, id);
    EXPECT_EQ(first->hDev, nullptr);  // every walk closes what it opened
    EXPECT_EQ(first->pin[0], 0);
    EXPECT_EQ(first->refCount, 0);
    // A second walk into the same list appends to it.
    EXPECT_EQ(tutil_skf_findAllCerts(id, &list), 5);
    EXPECT_EQ(list->count, 10);
    tcore_list_free(list);
}

TEST(SkfWalkTest, OneFailingObjectIsSkippedAndTheRestFound)
{
    struct Case {
        std::string fault;
        std::vector<std::string> found;
        std::string trace;
    };
    const std::string sarFail = "  a000001";  // "%8x" pads to eight
    const Case cases[] = {
        {tokenFault("SKF_ExportCertificate", "fail", "\"container\": \"c2\""), without({"/c2:"}),
         "skf_exportCertificate sign c2 failed" + sarFail + ", continue"},
        {tokenFault("SKF_OpenContainer", "fail", "\"container\": \"c1\""), without({"/c1:"}),
         "skf_openContainer c1 failed" + sarFail + ", continue"},
        {tokenFault("SKF_GetContainerType", "fail", "\"container\": \"c3\""), without({"/c3:"}),
         "skf_getContainerType c3 failed" + sarFail + ", continue"},
        {tokenFault("SKF_CloseContainer", "fail", "\"container\": \"c1\""), kAll,
         "skf_closeContainer c1 failed" + sarFail + ", continue"},
        {tokenFault("SKF_EnumContainer", "fail", "\"application\": \"app1\""), without({"/app1/"}),
         "tutil_skf_findAppCerts  app1 failed -160143, continue"},
        {tokenFault("SKF_OpenApplication", "fail", "\"application\": \"app2\""), without({"/app2/"}),
         "skf_openApplication app2 failed" + sarFail + ", continue"},
        {tokenFault("SKF_EnumApplication", "fail", "\"device\": \"dev1\""), without({"dev1/"}),
         "tutil_skf_findDevCerts  dev1 failed -160142, continue"},
        {tokenFault("SKF_ConnectDev", "fail", "\"device\": \"dev1\""), without({"dev1/"}),
         "skf_connectDev dev1 failed" + sarFail + ", continue"},
        {tokenFault("SKF_DisConnectDev", "fail", "\"device\": \"dev2\""), kAll,
         "skf_disConnectDev dev2 failed" + sarFail + ", continue"},
        // Hostile answers
        {tokenFault("SKF_ExportCertificate", "length", "\"container\": \"c1\"", "\"length\": 5000"), without({"/c1:"}),
         "skf_exportCertificate sign c1 failed  a000020, continue"},
        {tokenFault("SKF_ExportCertificate", "size_over_buffer", "\"container\": \"c1\"", "\"extra\": 904"),
         without({"/c1:"}), "skf_exportCertificate sign c1 gave length 5000, continue"},
        {tokenFault("SKF_EnumApplication", "size_over_buffer", "\"device\": \"dev1\"", "\"extra\": 100"),
         without({"dev1/"}), "skf_enumApplication gave a malformed name list (size 356)"},
        {tokenFault("SKF_EnumContainer", "list_without_final_nul", "\"application\": \"app1\""), kAll, ""},
    };
    for (const auto& c : cases) {
        TraceCapture trace;
        Walk w = findAll(twoDevices({c.fault}));
        EXPECT_EQ(w.found, c.found) << c.fault;
        EXPECT_EQ(w.result, static_cast<int>(c.found.size())) << c.fault;
        if (!c.trace.empty()) {
            EXPECT_TRUE(trace.contains(c.trace)) << c.fault;
        }
    }
}

// A record keeps exactly the bytes the token exported, up to the 4 KiB a
// certificate may have; a longer one does not fit the export and is skipped.
TEST(SkfWalkTest, CertificatesUpToTheLimitAreKeptWhole)
{
    const std::string key = tokenContainer("k", "sm2_zhang");
    const size_t certAt = key.find("\"sign_cert\"");
    ASSERT_NE(certAt, std::string::npos);
    for (size_t size :
         {size_t{1}, size_t{TUTIL_SKF_CERT_MAX - 1}, size_t{TUTIL_SKF_CERT_MAX}, size_t{TUTIL_SKF_CERT_MAX + 1}}) {
        std::string bytes;
        for (size_t i = 0; i < size; ++i) bytes.push_back(static_cast<char>(i * 7 + size));
        std::string container = key.substr(0, certAt) + "\"sign_cert\": \"" + hexOf(bytes) + "\"}";
        TokenVendor vendor(libraryFileName("certsize"),
                           tokenState({tokenDevice("d", "D", "SN", {tokenApplication("a", "1", {container})})}));
        tcore_list* list = nullptr;
        int found = tutil_skf_findAllCerts(tutil_skf_load(vendor.path().c_str()), &list);
        EXPECT_EQ(found, size > TUTIL_SKF_CERT_MAX ? 0 : 1) << size;
        if (found == 1) {
            auto* cert = static_cast<const tutil_skf_cert*>(list->items[0]);
            EXPECT_EQ(std::string(reinterpret_cast<const char*>(cert->certificate),
                                  static_cast<size_t>(cert->certificateLen)),
                      bytes)
                << size;
        }
        tcore_list_free(list);
    }
}

TEST(SkfWalkTest, FailingDeviceListFailsTheWalk)
{
    struct Case {
        std::string fault, trace;
    };
    const Case cases[] = {
        {tokenFault("SKF_EnumDev", "fail"), "skf_enumDev failed  a000001"},
        {tokenFault("SKF_EnumDev", "size_over_buffer", "", "\"extra\": 1"), "skf_enumDev gave a malformed name list"},
    };
    for (const auto& c : cases) {
        TraceCapture trace;
        Walk w = findAll(twoDevices({c.fault}));
        EXPECT_EQ(w.result, TUTIL_SKF_ERR_ENUM_DEV) << c.fault;
        EXPECT_TRUE(w.found.empty());
        EXPECT_TRUE(trace.contains(c.trace)) << c.fault;
    }
    EXPECT_EQ(findAll(tokenState({})).result, 0);  // no device present
    EXPECT_EQ(tutil_skf_findAllCerts(999, nullptr), TUTIL_SKF_ERR_NO_PROVIDER);
}

TEST(SkfWalkTest, BySerialNumberEveryMatchingDeviceContributes)
{
    std::string state = tokenState(
        {tokenDevice("d1", "One", "SAME", {tokenApplication("a", "1", {tokenContainer("k1", "rsa_wang")})}),
         tokenDevice("d2", "Two", "OTHER", {tokenApplication("a", "1", {tokenContainer("k2", "sm2_li")})}),
         tokenDevice("d3", "Three", "SAME", {tokenApplication("a", "1", {tokenContainer("k3", "sm2_zhang")})})});
    TokenVendor vendor(libraryFileName("bysn"), state);
    int id = tutil_skf_load(vendor.path().c_str());
    TraceCapture trace;
    tcore_list* list = nullptr;
    EXPECT_EQ(tutil_skf_findAllCertsByDevSn(id, "SAME", &list), 2);
    EXPECT_EQ(describe(list), (std::vector<std::string>{"d1/a/k1:1", "d3/a/k3:2"}));
    EXPECT_TRUE(trace.contains("serialNumber: SAME,devinfo.SerialNumber: OTHER no match"));
    tcore_list_free(list);
    list = nullptr;
    EXPECT_EQ(tutil_skf_findAllCertsByDevSn(id, "same", &list), 0);  // case-sensitive
    EXPECT_EQ(list, nullptr);
}

TEST(SkfWalkTest, DeviceListingKeepsTenApplicationNames)
{
    std::string state = tokenState(
        {tokenDevice(
             "many", "Many", "SN-M",
             {tokenApplication("a01", "1", {}), tokenApplication("a02", "1", {}), tokenApplication("a03", "1", {}),
              tokenApplication("a04", "1", {}), tokenApplication("a05", "1", {}), tokenApplication("a06", "1", {}),
              tokenApplication("a07", "1", {}), tokenApplication("a08", "1", {}), tokenApplication("a09", "1", {}),
              tokenApplication("a10", "1", {}), tokenApplication("a11", "1", {}), tokenApplication("a12", "1", {})},
             "user data text"),
         tokenDevice("bare", "Bare", "SN-0", {}), tokenDevice("broken", "Broken", "SN-X", {})},
        {tokenFault("SKF_GetDevInfo", "unterminated_text", "\"device\": \"broken\"")});
    TokenVendor vendor(libraryFileName("devs"), state);
    int id = tutil_skf_load(vendor.path().c_str());
    TraceCapture trace;
    tcore_list* list = nullptr;
    ASSERT_EQ(tutil_skf_findAllDev(id, &list), 3);
    auto* many = static_cast<tutil_skf_dev*>(list->items[0]);
    EXPECT_EQ(std::string(many->deviceName), "many");
    EXPECT_EQ(many->appCount, 10);
    EXPECT_EQ(std::string(many->appNames[9]), "a10");
    EXPECT_EQ(std::string(many->label), "Many");
    EXPECT_EQ(std::string(many->serialNumber), "SN-M");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(many->devInfo->Reserved)), "user data text");
    auto* bare = static_cast<tutil_skf_dev*>(list->items[1]);
    EXPECT_EQ(bare->appCount, 0);
    // Fields filled to their last byte are 32-character values, read no further.
    auto* broken = static_cast<tutil_skf_dev*>(list->items[2]);
    EXPECT_EQ(std::string(broken->label), "BrokenBrokenBrokenBrokenBrokenBr");
    EXPECT_EQ(std::string(broken->serialNumber), "SN-XSN-XSN-XSN-XSN-XSN-XSN-XSN-X");
    tcore_list_free(list);
}

// Name lists longer than the first 256-byte attempt: seven GUID-named
// containers (39 bytes each with the NUL, as vendors' tools name them), long
// application names, long device names. The token reports the size it
// needs; the walk asks again and finds the certificates at the end of each
// list.
TEST(SkfWalkTest, NameListsLongerThanTheFirstAttemptAreFetchedWhole)
{
    auto guid = [](int i) { return "{6F9619FF-8B86-D011-B42D-00C04FC964F" + std::to_string(i) + "}"; };
    std::vector<std::string> containers;
    for (int i = 1; i <= 6; ++i) containers.push_back(tokenContainer(guid(i), ""));  // no certificate
    containers.push_back(tokenContainer(guid(7), "sm2_li"));
    std::vector<std::string> apps;
    for (char c = 'a'; c <= 'f'; ++c) apps.push_back(tokenApplication(std::string(47, c), "1", {}));
    apps.push_back(tokenApplication(std::string(47, 'g'), "1", {tokenContainer("k", "sm2_zhang")}));
    std::vector<std::string> devices;
    for (char c = 'p'; c <= 'r'; ++c) devices.push_back(tokenDevice(std::string(100, c), "L", "S", {}));
    devices.push_back(
        tokenDevice("last", "Last", "SN-L", {tokenApplication("a", "1", {tokenContainer("k", "sm2_li")})}));
    struct Case {
        const char* what;
        std::string state;
        std::vector<std::string> found;
    };
    const Case cases[] = {
        {"containers",
         tokenState({tokenDevice("d", "D", "SN", {tokenApplication("app", "1", containers)})}),
         {"d/app/" + guid(7) + ":2"}},
        {"applications", tokenState({tokenDevice("d", "D", "SN", apps)}), {"d/" + std::string(47, 'g') + "/k:2"}},
        {"devices", tokenState(devices), {"last/a/k:2"}},
    };
    for (const auto& c : cases) {
        TraceCapture trace;
        Walk w = findAll(c.state);
        EXPECT_EQ(w.result, 1) << c.what;
        EXPECT_EQ(w.found, c.found) << c.what;
        EXPECT_FALSE(trace.contains("a000020")) << c.what;
    }
}

// A list that grows without end is refused past a size no real token
// reaches (1 MiB), traced with its size and the limit; a list of exactly
// the limit is read.
TEST(SkfWalkTest, ListBeyondTheLimitIsRefused)
{
    struct Case {
        unsigned length;
        int found;
    };
    for (const Case& c : {Case{1048576, 5}, Case{1048577, 2}}) {
        TraceCapture trace;
        Walk w = findAll(twoDevices({tokenFault("SKF_EnumContainer", "length", "\"application\": \"app1\"",
                                                "\"length\": " + std::to_string(c.length))}));
        EXPECT_EQ(w.result, c.found) << c.length;
        EXPECT_EQ(trace.contains("skf_enumContainer name list of " + std::to_string(c.length) +
                                 " bytes is over the limit of 1048576 bytes"),
                  c.found == 2)
            << c.length;
    }
}
