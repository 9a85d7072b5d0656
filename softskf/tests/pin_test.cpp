// PIN verification, retry counters, lock, unblock and the security state.
#include <nlohmann/json.hpp>

#include "test_process.h"
#include "token_fixture.h"

namespace {

struct PinInfo {
    SKF_ULONG max = 0, remaining = 0;
    SKF_BOOL is_default = FALSE;
};

}  // namespace

class PinTest : public TokenTest {
protected:
    PinInfo info(HAPPLICATION app, SKF_ULONG type = USER_TYPE)
    {
        PinInfo i;
        EXPECT_EQ(skf_.SKF_GetPINInfo(app, type, &i.max, &i.remaining, &i.is_default), SAR_OK);
        return i;
    }
    SKF_ULONG verify(HAPPLICATION app, const char* pin, SKF_ULONG* retries, SKF_ULONG type = USER_TYPE)
    {
        return skf_.SKF_VerifyPIN(app, type, const_cast<char*>(pin), retries);
    }
    SKF_ULONG sign(HCONTAINER con)
    {
        SKF_BYTE e[32] = {1};
        ECCSIGNATUREBLOB sig;
        return skf_.SKF_ECCSignData(con, e, sizeof e, &sig);
    }
};

TEST_F(PinTest, WrongPinsCountDownToALockThatSurvivesTheProcess)
{
    HAPPLICATION app = open_application(connect());
    SKF_ULONG retries = 99;
    EXPECT_EQ(verify(app, "wrong-pin", &retries), SAR_PIN_INCORRECT);
    EXPECT_EQ(retries, 2u);
    EXPECT_EQ(verify(app, "user1234", &retries), SAR_OK) << "the right PIN restores the tries";
    EXPECT_EQ(info(app).remaining, 3u);

    for (SKF_ULONG left : {2u, 1u, 0u}) {
        EXPECT_EQ(verify(app, "wrong-pin", &retries), SAR_PIN_INCORRECT);
        EXPECT_EQ(retries, left);
    }
    EXPECT_EQ(verify(app, "user1234", &retries), SAR_PIN_LOCKED) << "locked means locked, right PIN or not";
    EXPECT_EQ(retries, 0u);
    EXPECT_EQ(info(app).remaining, 0u);

    // Another process sees the lock on the token.
    EXPECT_EQ(run_self({"--remaining-user-tries", module_path_, "SoftKey A", "APP"}), 0);
    auto state = nlohmann::json::parse(read_state_file(module_path_));
    EXPECT_EQ(state["devices"][0]["applications"][0]["user_pin"]["retries_left"], 0);

    // The admin PIN unblocks it with a new user PIN; wrong admin PINs count.
    EXPECT_EQ(skf_.SKF_UnblockPIN(app, const_cast<char*>("admin-bad"), const_cast<char*>("newpin99"), &retries),
              SAR_PIN_INCORRECT);
    EXPECT_EQ(retries, 4u);
    ASSERT_EQ(skf_.SKF_UnblockPIN(app, const_cast<char*>("admin1234"), const_cast<char*>("newpin99"), &retries),
              SAR_OK);
    EXPECT_EQ(info(app, ADMIN_TYPE).remaining, 5u);
    EXPECT_EQ(run_self({"--remaining-user-tries", module_path_, "SoftKey A", "APP"}), 3);
    EXPECT_EQ(verify(app, "user1234", &retries), SAR_PIN_INCORRECT);
    EXPECT_EQ(verify(app, "newpin99", &retries), SAR_OK);
}

TEST_F(PinTest, ChangePinChecksTheOldOneAndClearsTheDefaultFlag)
{
    HAPPLICATION app = open_application(connect());
    EXPECT_TRUE(info(app).is_default);
    SKF_ULONG retries = 0;
    EXPECT_EQ(
        skf_.SKF_ChangePIN(app, USER_TYPE, const_cast<char*>("nope1234"), const_cast<char*>("fresh-pin"), &retries),
        SAR_PIN_INCORRECT);
    EXPECT_EQ(retries, 2u);
    EXPECT_EQ(skf_.SKF_ChangePIN(app, USER_TYPE, const_cast<char*>("user1234"), const_cast<char*>("123"), &retries),
              SAR_PIN_LEN_RANGE);
    ASSERT_EQ(
        skf_.SKF_ChangePIN(app, USER_TYPE, const_cast<char*>("user1234"), const_cast<char*>("fresh-pin"), &retries),
        SAR_OK);
    EXPECT_FALSE(info(app).is_default);
    EXPECT_EQ(info(app).remaining, 3u);
    EXPECT_EQ(verify(app, "user1234", &retries), SAR_PIN_INCORRECT);
    EXPECT_EQ(verify(app, "fresh-pin", &retries), SAR_OK);
}

TEST_F(PinTest, BadPinTypesAndLengthsCostNoTries)
{
    HAPPLICATION app = open_application(connect());
    SKF_ULONG retries = 0, max = 0, remaining = 0;
    SKF_BOOL is_default = FALSE;
    EXPECT_EQ(verify(app, "user1234", &retries, 7), SAR_USER_TYPE_INVALID);
    EXPECT_EQ(skf_.SKF_GetPINInfo(app, 2, &max, &remaining, &is_default), SAR_USER_TYPE_INVALID);
    EXPECT_EQ(verify(app, "", &retries), SAR_PIN_LEN_RANGE);
    EXPECT_EQ(skf_.SKF_VerifyPIN(app, USER_TYPE, nullptr, &retries), SAR_PIN_LEN_RANGE);
    EXPECT_EQ(info(app).remaining, 3u);
}

TEST_F(PinTest, OnlyClearSecureStateLogsOut)
{
    DEVHANDLE dev = connect();
    HAPPLICATION app = open_application(dev);
    HCONTAINER con = open_container(app);
    EXPECT_EQ(sign(con), SAR_USER_NOT_LOGGED_IN);
    login(app);
    EXPECT_EQ(sign(con), SAR_OK);

    // Closing and reopening the application keeps the verified PIN.
    ASSERT_EQ(skf_.SKF_CloseApplication(app), SAR_OK);
    app = open_application(dev);
    con = open_container(app);
    EXPECT_EQ(sign(con), SAR_OK);

    ASSERT_EQ(skf_.SKF_ClearSecureState(app), SAR_OK);
    EXPECT_EQ(sign(con), SAR_USER_NOT_LOGGED_IN);

    // Logging in to one application opens nothing in another.
    login(app);
    HAPPLICATION other = open_application(dev, "OTHER");
    HCONTAINER created = nullptr;
    EXPECT_EQ(skf_.SKF_CreateContainer(other, const_cast<char*>("c"), &created), SAR_USER_NOT_LOGGED_IN);
}
