// Handles are checked, not trusted, and the state file is never lost.
#include <fstream>

#include "token_fixture.h"

TEST_F(TokenTest, ForeignStaleAndWrongKindHandlesAreRefused)
{
    DEVHANDLE dev = connect();
    HAPPLICATION app = open_application(dev);
    HCONTAINER con = open_container(app);
    SKF_ULONG type = 0;
    DEVINFO info;
    int local = 0;
    SKF_HANDLE garbage = &local;

    EXPECT_EQ(skf_.SKF_GetContainerType(garbage, &type), SAR_INVALIDHANDLEERR);
    EXPECT_EQ(skf_.SKF_GetDevInfo(nullptr, &info), SAR_INVALIDHANDLEERR);
    EXPECT_EQ(skf_.SKF_GetContainerType(app, &type), SAR_INVALIDHANDLEERR) << "application handle as container";
    EXPECT_EQ(skf_.SKF_GetDevInfo(con, &info), SAR_INVALIDHANDLEERR) << "container handle as device";
    EXPECT_EQ(skf_.SKF_CloseHandle(dev), SAR_INVALIDHANDLEERR) << "CloseHandle is for hash handles";

    ASSERT_EQ(skf_.SKF_GetContainerType(con, &type), SAR_OK);
    EXPECT_EQ(type, static_cast<SKF_ULONG>(SKF_CONTAINER_TYPE_ECC));
    ASSERT_EQ(skf_.SKF_CloseContainer(con), SAR_OK);
    EXPECT_EQ(skf_.SKF_GetContainerType(con, &type), SAR_INVALIDHANDLEERR) << "closed container";
    EXPECT_EQ(skf_.SKF_CloseContainer(con), SAR_INVALIDHANDLEERR) << "closed twice";

    // Disconnecting takes what was opened from the device with it.
    HCONTAINER con2 = open_container(app, "empty");
    SKF_HANDLE hash = nullptr;
    ASSERT_EQ(skf_.SKF_DigestInit(dev, SGD_SM3, nullptr, nullptr, 0, &hash), SAR_OK);
    ASSERT_EQ(skf_.SKF_DisConnectDev(dev), SAR_OK);
    EXPECT_EQ(skf_.SKF_GetContainerType(con2, &type), SAR_INVALIDHANDLEERR);
    EXPECT_EQ(skf_.SKF_CloseApplication(app), SAR_INVALIDHANDLEERR);
    EXPECT_EQ(skf_.SKF_DigestUpdate(hash, nullptr, 0), SAR_INVALIDHANDLEERR);
}

TEST_F(TokenTest, DeletedObjectsInvalidateTheirHandles)
{
    DEVHANDLE dev = connect();
    HAPPLICATION app = open_application(dev);
    login(app);
    HCONTAINER doomed = open_container(app, "empty");
    ASSERT_EQ(skf_.SKF_DeleteContainer(app, const_cast<char*>("empty")), SAR_OK);
    SKF_ULONG type = 0;
    EXPECT_EQ(skf_.SKF_GetContainerType(doomed, &type), SAR_INVALIDHANDLEERR);

    HAPPLICATION other = open_application(dev, "OTHER");
    ASSERT_EQ(skf_.SKF_DeleteApplication(dev, const_cast<char*>("OTHER")), SAR_OK);
    SKF_ULONG size = 0;
    EXPECT_EQ(skf_.SKF_EnumContainer(other, nullptr, &size), SAR_INVALIDHANDLEERR);
    EXPECT_EQ(skf_.SKF_DeleteApplication(dev, const_cast<char*>("OTHER")), SAR_APPLICATION_NOT_EXISTS);
}

TEST_F(TokenTest, UnreadableStateFailsEveryCallAndIsLeftAsItWas)
{
    const std::string broken = "{\"devices\": [ {\"name\": \"half a file";
    SkfModule vendor;
    std::string path = install(vendor, "broken", broken);
    SKF_ULONG size = 0;
    EXPECT_EQ(vendor.SKF_EnumDev(TRUE, nullptr, &size), SAR_FILEERR);
    DEVHANDLE h = nullptr;
    EXPECT_EQ(vendor.SKF_ConnectDev(const_cast<char*>("half a file"), &h), SAR_FILEERR);
    EXPECT_EQ(read_state_file(path), broken);
}

TEST_F(TokenTest, NoStateFileIsATokenWithoutDevices)
{
    SkfModule vendor;
    install(vendor, "fresh", "");
    SKF_ULONG size = 0;
    ASSERT_EQ(vendor.SKF_EnumDev(TRUE, nullptr, &size), SAR_OK);
    EXPECT_EQ(size, 2u);
}
