// The token calls one selection makes, counted by the soft token itself:
// exactly those its walk needs, with no library, device or certificate
// visited twice. The expectations are derived from the walk's shape below.
#include <gtest/gtest.h>
#include <windows.h>

#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "chooser_answer.h"
#include "dsc_acx_selected.h"
#include "dsc_jna.h"
#include "selection_fixture.h"
#include "test_registry.h"
#include "test_stores.h"
#include "token_vendor.h"
#include "tutil_skf_cus.h"
#include "twcyt_cert.h"
// After <windows.h> (through tutil_skf_cus.h), which defines TRUE and FALSE first.
#include "softskf_stats.h"

namespace {

using Counts = std::map<std::string, unsigned long long>;

// Per library: one EnumDev (the 256-byte list takes the names in one call).
// Per device: ConnectDev, EnumApplication, DisConnectDev. Per application:
// OpenApplication, EnumContainer, CloseApplication. Per container:
// OpenContainer, GetContainerType, ExportCertificate (into a buffer large
// enough for any certificate, so one call), CloseContainer.
Counts walkByDn(int libraries, int devices, int applications, int containers)
{
    auto d = static_cast<unsigned long long>(libraries * devices);
    auto a = d * static_cast<unsigned long long>(applications);
    auto c = a * static_cast<unsigned long long>(containers);
    return {{"SKF_EnumDev", static_cast<unsigned long long>(libraries)},
            {"SKF_ConnectDev", d},
            {"SKF_EnumApplication", d},
            {"SKF_DisConnectDev", d},
            {"SKF_OpenApplication", a},
            {"SKF_EnumContainer", a},
            {"SKF_CloseApplication", a},
            {"SKF_OpenContainer", c},
            {"SKF_GetContainerType", c},
            {"SKF_ExportCertificate", c},
            {"SKF_CloseContainer", c}};
}

// By serial number every device is connected and asked for its DEVINFO;
// only the matching one is walked further, as above.
Counts walkBySerial(int libraries, int devices, int containersOfTheMatch)
{
    auto d = static_cast<unsigned long long>(libraries * devices);
    auto c = static_cast<unsigned long long>(containersOfTheMatch);
    return {{"SKF_EnumDev", static_cast<unsigned long long>(libraries)},
            {"SKF_ConnectDev", d},
            {"SKF_GetDevInfo", d},
            {"SKF_DisConnectDev", d},
            {"SKF_EnumApplication", 1},
            {"SKF_OpenApplication", 1},
            {"SKF_EnumContainer", 1},
            {"SKF_CloseApplication", 1},
            {"SKF_OpenContainer", c},
            {"SKF_GetContainerType", c},
            {"SKF_ExportCertificate", c},
            {"SKF_CloseContainer", c}};
}

// Vendor `n`: devices "devA" and "devB" (serials SN-<n>A, SN-<n>B), each
// with one application holding two containers of the given key fixtures.
std::string vendorState(int n, const std::string& a1, const std::string& a2, const std::string& b1,
                        const std::string& b2)
{
    std::string id = std::to_string(n);
    return tokenState(
        {tokenDevice("devA", "Key " + id + "A", "SN-" + id + "A",
                     {tokenApplication("app", "111111", {tokenContainer("c1", a1), tokenContainer("c2", a2)})}),
         tokenDevice("devB", "Key " + id + "B", "SN-" + id + "B",
                     {tokenApplication("app", "111111", {tokenContainer("c1", b1), tokenContainer("c2", b2)})})});
}

// Only the first device of the first vendor holds Zhang San's certificate;
// Li Si's appears several times (kept once) and Wang Wu's RSA certificate is
// walked but not gathered. SN-2B holds Li Si's twice: one candidate.
std::string firstVendor() { return vendorState(1, "sm2_zhang", "sm2_li", "sm2_li", "rsa_wang"); }
std::string secondVendor() { return vendorState(2, "rsa_wang", "sm2_li", "sm2_li", "sm2_li"); }

std::string zhangDn()
{
    std::string der = tokenCertificate("sm2_zhang");
    const twcyt_cert* cert = twcyt_cert_load(reinterpret_cast<const unsigned char*>(der.data()),
                                             static_cast<int>(der.size()));
    char dn[256] = {0};
    twcyt_cert_getDn(cert, dn, sizeof dn);
    twcyt_cert_free(cert);
    return dn;
}

// The statistics of the token copy the library loaded from `path`.
template <typename Fn>
Fn tokenFunction(const std::string& path, const char* name)
{
    tutil_skf_provider* p = tutil_skf_findProviderByPath(path.c_str());
    if (p == nullptr) return nullptr;
    return reinterpret_cast<Fn>(
        reinterpret_cast<void (*)(void)>(GetProcAddress(static_cast<HMODULE>(p->module), name)));
}

Counts countsOf(const std::vector<std::string>& paths)
{
    Counts out;
    for (const auto& path : paths) {
        auto stats = tokenFunction<softskf_callStats_fn>(path, "softskf_callStats");
        if (stats == nullptr) continue;
        softskf_CallStat rows[64];
        SKF_ULONG n = stats(rows, 64);
        for (SKF_ULONG i = 0; i < n && i < 64; ++i) out[rows[i].name] += rows[i].calls;
    }
    return out;
}

void resetCounts(const std::vector<std::string>& paths)
{
    for (const auto& path : paths)
        if (auto reset = tokenFunction<softskf_resetCallStats_fn>(path, "softskf_resetCallStats")) reset();
}

// How the vendors are registered; `third` is a vendor only the 360 key may name.
enum class Registration { twoProviders, sameLibraryTwice, key360NamesARegisteredOne, key360NamesAThirdLibrary };

std::string registrationText(Registration r, const std::string& first, const std::string& second,
                             const std::string& third)
{
    std::vector<std::pair<std::string, std::string>> providers = {{"Vendor 1", first}, {"Vendor 2", second}};
    if (r == Registration::sameLibraryTwice) providers.push_back({"Vendor 1 again", first});
    std::string text = providerRegistration(providers);
    auto hs = [](const std::string& path) {
        return "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Cryptography\\Defaults\\Provider\\HS]\r\n\"SKFImagePath\"=" +
               regString(path) + "\r\n\r\n";
    };
    if (r == Registration::key360NamesARegisteredOne) text += hs(second);
    if (r == Registration::key360NamesAThirdLibrary) text += hs(third);
    return text;
}

struct Case {
    const char* name;
    Registration registration;
    const char* serial;  // null: select by the DN of Zhang San
    Counts expected;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class SkfCallsTest : public CleanSelection<::testing::TestWithParam<Case>> {};

}  // namespace

TEST_P(SkfCallsTest, OneSelectionMakesExactlyTheCallsOfItsWalk)
{
    const Case& c = GetParam();
    TokenVendor first(libraryFileName("calls"), firstVendor());
    TokenVendor second(libraryFileName("calls"), secondVendor());
    TokenVendor third(libraryFileName("calls"), firstVendor());
    test_registry_install(registrationText(c.registration, first.path(), second.path(), third.path()));
    std::vector<std::string> paths = {first.path(), second.path(), third.path()};
    std::string dn = zhangDn();
    ChooserAnswer none(-1);  // one candidate each time: no chooser may show
    char out[4096];
    auto select = [&] {
        return c.serial != nullptr ? Sgn_SelectCertByKeySn(c.serial, out, sizeof out)
                                   : Sgn_SelectCertByDn("DN", dn.c_str(), out);
    };

    // The first selection loads the libraries; the second, counted one also
    // releases the certificate the first selected.
    ASSERT_EQ(select(), 0);
    resetCounts(paths);
    ASSERT_EQ(select(), 0);
    EXPECT_EQ(countsOf(paths), c.expected);
    EXPECT_TRUE(none.rowsShown().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Walks, SkfCallsTest,
    ::testing::Values(
        Case{"TwoLibrariesByDn", Registration::twoProviders, nullptr, walkByDn(2, 2, 1, 2)},
        Case{"SameLibraryUnderTwoProviderNames", Registration::sameLibraryTwice, nullptr, walkByDn(2, 2, 1, 2)},
        Case{"Key360NamingARegisteredLibrary", Registration::key360NamesARegisteredOne, nullptr, walkByDn(2, 2, 1, 2)},
        Case{"Key360NamingAThirdLibrary", Registration::key360NamesAThirdLibrary, nullptr, walkByDn(3, 2, 1, 2)},
        Case{"BySerialNumber", Registration::twoProviders, "SN-2B", walkBySerial(2, 2, 2)},
        Case{"BySerialNumberSameLibraryTwice", Registration::sameLibraryTwice, "SN-2B", walkBySerial(2, 2, 2)}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });
