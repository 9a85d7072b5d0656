// Faults asked for in the state file: failing calls, scoped to one object
// or not, and hostile answers for robustness tests of callers.
#include <cstring>

#include "token_fixture.h"

class FaultTest : public TokenTest {
protected:
    void with_faults(const std::string& faults) { module_path_ = install(skf_, "faulty", state_with_faults(faults)); }
};

TEST_F(FaultTest, FailuresHitTheNamedCallForTheNamedObjectsOnly)
{
    with_faults(R"([
      {"call": "SKF_EnumDev", "code": "0x0A000023"},
      {"call": "SKF_ConnectDev", "code": 167772165, "device": "SoftKey B"},
      {"call": "SKF_OpenApplication", "code": "0x0A00002E", "device": "SoftKey A", "application": "OTHER"},
      {"call": "SKF_ECCSignData", "code": "0x0A000001", "container": "annex-a"},
      {"call": "SKF_GetContainerType", "code": "0x0A000006", "device": "SoftKey A", "application": "APP", "container": "empty"}
    ])");
    SKF_ULONG size = 0;
    EXPECT_EQ(skf_.SKF_EnumDev(TRUE, nullptr, &size), SAR_DEVICE_REMOVED);

    DEVHANDLE b = nullptr;
    EXPECT_EQ(skf_.SKF_ConnectDev(const_cast<char*>("SoftKey B"), &b), 167772165u);
    DEVHANDLE dev = connect("SoftKey A");

    HAPPLICATION other = nullptr;
    EXPECT_EQ(skf_.SKF_OpenApplication(dev, const_cast<char*>("OTHER"), &other), SAR_APPLICATION_NOT_EXISTS);
    HAPPLICATION app = open_application(dev, "APP");
    login(app);

    HCONTAINER annex = open_container(app, "annex-a");
    SKF_BYTE e[32] = {7};
    ECCSIGNATUREBLOB sig;
    EXPECT_EQ(skf_.SKF_ECCSignData(annex, e, 32, &sig), SAR_FAIL);
    SKF_ULONG type = 0;
    EXPECT_EQ(skf_.SKF_GetContainerType(annex, &type), SAR_OK);
    HCONTAINER empty = open_container(app, "empty");
    EXPECT_EQ(skf_.SKF_GetContainerType(empty, &type), SAR_INVALIDPARAMERR);
}

TEST_F(FaultTest, NameListWithoutItsFinalNul)
{
    with_faults(R"([{"call": "SKF_EnumDev", "kind": "list_without_final_nul"},
                    {"call": "SKF_EnumContainer", "kind": "list_without_final_nul", "application": "APP"}])");
    SKF_ULONG size = 0;
    ASSERT_EQ(skf_.SKF_EnumDev(TRUE, nullptr, &size), SAR_OK);
    EXPECT_EQ(size, sizeof "SoftKey A\0SoftKey B" + 0u);  // one NUL after each name, none more
    std::vector<char> list(64, '#');
    size = static_cast<SKF_ULONG>(list.size());
    ASSERT_EQ(skf_.SKF_EnumDev(TRUE, list.data(), &size), SAR_OK);
    EXPECT_EQ(std::memcmp(list.data(), "SoftKey A\0SoftKey B\0#", size + 1), 0);

    HAPPLICATION app = open_application(connect());
    size = static_cast<SKF_ULONG>(list.size());
    ASSERT_EQ(skf_.SKF_EnumContainer(app, list.data(), &size), SAR_OK);
    EXPECT_EQ(size, sizeof "annex-a\0empty" + 0u);
}

TEST_F(FaultTest, SizesLargerThanTheCallersBuffer)
{
    with_faults(R"([{"call": "SKF_EnumApplication", "kind": "size_over_buffer", "extra": 100},
                    {"call": "SKF_ExportCertificate", "kind": "size_over_buffer"},
                    {"call": "SKF_Digest", "kind": "size_over_buffer", "extra": 1}])");
    DEVHANDLE dev = connect();
    std::vector<char> list(6, '#');
    SKF_ULONG size = 0;
    ASSERT_EQ(skf_.SKF_EnumApplication(dev, nullptr, &size), SAR_OK) << "the probe tells the truth";
    EXPECT_EQ(size, sizeof "APP\0OTHER\0" + 0u);
    size = static_cast<SKF_ULONG>(list.size());
    ASSERT_EQ(skf_.SKF_EnumApplication(dev, list.data(), &size), SAR_OK);
    EXPECT_EQ(size, 106u);
    EXPECT_EQ(std::string(list.data(), 6), std::string("APP\0OT", 6));

    HCONTAINER con = open_container(open_application(dev));
    SKF_BYTE cert[5];
    size = sizeof cert;
    ASSERT_EQ(skf_.SKF_ExportCertificate(con, TRUE, cert, &size), SAR_OK);
    EXPECT_EQ(size, 5u + 16u);

    SKF_HANDLE hash = nullptr;
    ASSERT_EQ(skf_.SKF_DigestInit(dev, SGD_SM3, nullptr, nullptr, 0, &hash), SAR_OK);
    SKF_BYTE value[32];
    size = sizeof value;
    ASSERT_EQ(skf_.SKF_Digest(hash, value, 0, value, &size), SAR_OK);
    EXPECT_EQ(size, 33u);
}

TEST_F(FaultTest, OversizeCertificateAndSignatureLengths)
{
    with_faults(R"([{"call": "SKF_ExportCertificate", "kind": "length", "length": 5000, "container": "annex-a"},
                    {"call": "SKF_RSASignData", "kind": "length", "length": 300}])");
    DEVHANDLE dev = connect();
    HAPPLICATION app = open_application(dev);
    login(app);
    HCONTAINER con = open_container(app);
    SKF_ULONG size = 0;
    ASSERT_EQ(skf_.SKF_ExportCertificate(con, TRUE, nullptr, &size), SAR_OK);
    EXPECT_EQ(size, 5000u);
    std::vector<SKF_BYTE> cert(4096);
    size = static_cast<SKF_ULONG>(cert.size());
    EXPECT_EQ(skf_.SKF_ExportCertificate(con, TRUE, cert.data(), &size), SAR_BUFFER_TOO_SMALL);
    EXPECT_EQ(size, 5000u);

    HCONTAINER rsa = open_container(app, "empty");
    RSAPUBLICKEYBLOB key;
    ASSERT_EQ(skf_.SKF_GenRSAKeyPair(rsa, 1024, &key), SAR_OK);
    SKF_BYTE hash[20] = {1};
    ASSERT_EQ(skf_.SKF_RSASignData(rsa, hash, 20, nullptr, &size), SAR_OK);
    EXPECT_EQ(size, 300u) << "longer than the 128-byte modulus";
}

TEST_F(FaultTest, DevInfoTextsWithoutTerminators)
{
    with_faults(R"([{"call": "SKF_GetDevInfo", "kind": "unterminated_text", "device": "SoftKey A"}])");
    DEVINFO info;
    ASSERT_EQ(skf_.SKF_GetDevInfo(connect(), &info), SAR_OK);
    EXPECT_EQ(std::memchr(info.Label, 0, sizeof info.Label), nullptr);
    EXPECT_EQ(std::memchr(info.SerialNumber, 0, sizeof info.SerialNumber), nullptr);
    EXPECT_EQ(std::memchr(info.Manufacturer, 0, sizeof info.Manufacturer), nullptr);
    EXPECT_EQ(std::memchr(info.Reserved, 0, sizeof info.Reserved), nullptr);
    EXPECT_EQ(std::memcmp(info.SerialNumber, "SN-A-0001SN-A", 13), 0);

    ASSERT_EQ(skf_.SKF_GetDevInfo(connect("SoftKey B"), &info), SAR_OK) << "other devices answer normally";
    EXPECT_STREQ(info.SerialNumber, "SN-B-0002");
}
