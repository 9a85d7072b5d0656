// Name lists, device information and labels, and two copies of the module
// acting as two vendors.
#include <cstring>

#include "token_fixture.h"

using Names = std::vector<std::string>;

TEST_F(TokenTest, EnumDevProbesThenFillsADoubleNulList)
{
    SKF_ULONG size = 0;
    ASSERT_EQ(skf_.SKF_EnumDev(TRUE, nullptr, &size), SAR_OK);
    const char expected[] = "SoftKey A\0SoftKey B\0";  // plus the literal's NUL: the final one
    ASSERT_EQ(size, sizeof expected);
    std::vector<char> list(size + 8, '#');
    SKF_ULONG capacity = static_cast<SKF_ULONG>(list.size());
    ASSERT_EQ(skf_.SKF_EnumDev(TRUE, list.data(), &capacity), SAR_OK);
    EXPECT_EQ(capacity, sizeof expected);
    EXPECT_EQ(std::memcmp(list.data(), expected, sizeof expected), 0);
    EXPECT_EQ(list[sizeof expected], '#') << "wrote past the list";

    // bPresent FALSE also lists the device that is not plugged in.
    ASSERT_EQ(skf_.SKF_EnumDev(FALSE, nullptr, &size), SAR_OK);
    std::vector<char> all(size);
    ASSERT_EQ(skf_.SKF_EnumDev(FALSE, all.data(), &size), SAR_OK);
    EXPECT_EQ(split_name_list(all.data(), size), (Names{"SoftKey A", "SoftKey B", "Unplugged"}));
}

TEST_F(TokenTest, ShortBufferGetsBufferTooSmallAndTheNeededSize)
{
    char list[8];
    std::memset(list, '#', sizeof list);
    SKF_ULONG size = sizeof list;
    EXPECT_EQ(skf_.SKF_EnumDev(TRUE, list, &size), SAR_BUFFER_TOO_SMALL);
    EXPECT_EQ(size, sizeof "SoftKey A\0SoftKey B\0");
    EXPECT_EQ(list[0], '#');

    DEVHANDLE dev = connect();
    HAPPLICATION app = open_application(dev);
    size = 4;
    EXPECT_EQ(skf_.SKF_EnumContainer(app, list, &size), SAR_BUFFER_TOO_SMALL);
    EXPECT_EQ(size, sizeof "annex-a\0empty\0");
    EXPECT_EQ(skf_.SKF_EnumDev(TRUE, list, nullptr), SAR_INVALIDPARAMERR);
}

TEST_F(TokenTest, ApplicationAndContainerListsAndEmptyLists)
{
    DEVHANDLE dev = connect();
    char list[128];
    SKF_ULONG size = sizeof list;
    ASSERT_EQ(skf_.SKF_EnumApplication(dev, list, &size), SAR_OK);
    EXPECT_EQ(split_name_list(list, size), (Names{"APP", "OTHER"}));

    HAPPLICATION app = open_application(dev);
    size = sizeof list;
    ASSERT_EQ(skf_.SKF_EnumContainer(app, list, &size), SAR_OK);
    EXPECT_EQ(split_name_list(list, size), (Names{"annex-a", "empty"}));

    // Empty lists are just the two NULs.
    HAPPLICATION other = open_application(dev, "OTHER");
    size = sizeof list;
    ASSERT_EQ(skf_.SKF_EnumContainer(other, list, &size), SAR_OK);
    EXPECT_EQ(size, 2u);
    EXPECT_EQ(list[0], '\0');
    EXPECT_EQ(list[1], '\0');
    DEVHANDLE dev_b = connect("SoftKey B");
    size = sizeof list;
    ASSERT_EQ(skf_.SKF_EnumApplication(dev_b, list, &size), SAR_OK);
    EXPECT_EQ(size, 2u);

    HAPPLICATION missing = nullptr;
    EXPECT_EQ(skf_.SKF_OpenApplication(dev, const_cast<char*>("NOPE"), &missing), SAR_APPLICATION_NOT_EXISTS);
    HCONTAINER no_container = nullptr;
    EXPECT_EQ(skf_.SKF_OpenContainer(app, const_cast<char*>("nope"), &no_container), SAR_FAIL);
}

TEST_F(TokenTest, ConnectingAndDeviceStates)
{
    DEVHANDLE h = nullptr;
    EXPECT_EQ(skf_.SKF_ConnectDev(const_cast<char*>("No Such Device"), &h), SAR_INVALIDPARAMERR);
    EXPECT_EQ(skf_.SKF_ConnectDev(const_cast<char*>("Unplugged"), &h), SAR_DEVICE_REMOVED);
    const struct {
        const char* name;
        SKF_ULONG state;
    } cases[] = {{"SoftKey A", DEV_PRESENT_STATE}, {"Unplugged", DEV_ABSENT_STATE}, {"Unknown", DEV_UNKNOW_STATE}};
    for (const auto& c : cases) {
        SKF_ULONG state = 99;
        EXPECT_EQ(skf_.SKF_GetDevState(const_cast<char*>(c.name), &state), SAR_OK);
        EXPECT_EQ(state, c.state) << c.name;
    }
}

TEST_F(TokenTest, DevInfoCarriesTheStateFieldsAndUserData)
{
    DEVINFO info;
    std::memset(&info, 0xCC, sizeof info);
    ASSERT_EQ(skf_.SKF_GetDevInfo(connect(), &info), SAR_OK);
    EXPECT_STREQ(info.Manufacturer, "Soft Vendor");
    EXPECT_STREQ(info.Issuer, "Soft Issuer");
    EXPECT_STREQ(info.Label, "Label A");
    EXPECT_STREQ(info.SerialNumber, "SN-A-0001");
    EXPECT_STREQ(reinterpret_cast<const char*>(info.Reserved), "user data A");
    EXPECT_EQ(info.Version.major, 1);
    EXPECT_EQ(info.HWVersion.major, 2);
    EXPECT_EQ(info.HWVersion.minor, 1);
    EXPECT_EQ(info.AlgAsymCap & SGD_SM2_1, static_cast<SKF_ULONG>(SGD_SM2_1));
    EXPECT_EQ(info.AlgHashCap & SGD_SM3, static_cast<SKF_ULONG>(SGD_SM3));

    // No user data: Reserved is all zeros, not leftovers.
    DEVINFO b;
    std::memset(&b, 0xCC, sizeof b);
    ASSERT_EQ(skf_.SKF_GetDevInfo(connect("SoftKey B"), &b), SAR_OK);
    for (SKF_BYTE byte : b.Reserved) ASSERT_EQ(byte, 0);
    EXPECT_STREQ(b.SerialNumber, "SN-B-0002");
}

TEST_F(TokenTest, SetLabelPersistsAndRefusesWhatDoesNotFit)
{
    DEVHANDLE dev = connect();
    ASSERT_EQ(skf_.SKF_SetLabel(dev, const_cast<char*>("New label")), SAR_OK);
    std::string too_long(32, 'L');  // the field holds 31 and the NUL
    EXPECT_EQ(skf_.SKF_SetLabel(dev, too_long.data()), SAR_INVALIDPARAMERR);
    EXPECT_EQ(skf_.SKF_SetLabel(dev, const_cast<char*>("bad \xFF utf-8")), SAR_INVALIDPARAMERR);

    // A fresh load of the same copy reads it back from the file.
    SkfModule again;
    skf_.unload();
    ASSERT_TRUE(again.load(module_path_)) << again.error();
    DEVHANDLE h = nullptr;
    ASSERT_EQ(again.SKF_ConnectDev(const_cast<char*>("SoftKey A"), &h), SAR_OK);
    DEVINFO info;
    ASSERT_EQ(again.SKF_GetDevInfo(h, &info), SAR_OK);
    EXPECT_STREQ(info.Label, "New label");
}

TEST_F(TokenTest, TwoCopiesAreTwoVendorsWithTheirOwnState)
{
    SkfModule vendor_b;
    install(vendor_b, "b", R"({"devices": [{"name": "Other Vendor Key", "label": "B"}]})");
    char list[64];
    SKF_ULONG size = sizeof list;
    ASSERT_EQ(vendor_b.SKF_EnumDev(TRUE, list, &size), SAR_OK);
    EXPECT_EQ(split_name_list(list, size), (Names{"Other Vendor Key"}));
    size = sizeof list;
    ASSERT_EQ(skf_.SKF_EnumDev(TRUE, list, &size), SAR_OK);
    EXPECT_EQ(split_name_list(list, size), (Names{"SoftKey A", "SoftKey B"}));

    // Handles of one vendor mean nothing to the other, even when both
    // have opened the same number of them.
    DEVHANDLE b = nullptr;
    ASSERT_EQ(vendor_b.SKF_ConnectDev(const_cast<char*>("Other Vendor Key"), &b), SAR_OK);
    DEVHANDLE a = connect();
    DEVINFO info;
    EXPECT_EQ(vendor_b.SKF_GetDevInfo(a, &info), SAR_INVALIDHANDLEERR);
    EXPECT_EQ(skf_.SKF_GetDevInfo(b, &info), SAR_INVALIDHANDLEERR);
    ASSERT_EQ(vendor_b.SKF_SetLabel(b, const_cast<char*>("changed")), SAR_OK);
    ASSERT_EQ(skf_.SKF_GetDevInfo(a, &info), SAR_OK);
    EXPECT_STREQ(info.Label, "Label A");
}
