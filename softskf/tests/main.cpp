// The token suite. Besides the tests, the program has one child mode used
// by the tests themselves:
//   --remaining-user-tries MODULE DEVICE APPLICATION
// loads MODULE in this fresh process and exits with the user PIN's
// remaining tries (99 on any failure).
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "skf_module.h"
#include "token_fixture.h"

static int remaining_user_tries(const char* module_path, char* device, char* application)
{
    SkfModule skf;
    if (!skf.load(module_path)) return 99;
    DEVHANDLE dev = nullptr;
    HAPPLICATION app = nullptr;
    SKF_ULONG max = 0, remaining = 0;
    SKF_BOOL is_default = FALSE;
    if (skf.SKF_ConnectDev(device, &dev) != SAR_OK || skf.SKF_OpenApplication(dev, application, &app) != SAR_OK ||
        skf.SKF_GetPINInfo(app, USER_TYPE, &max, &remaining, &is_default) != SAR_OK)
        return 99;
    return static_cast<int>(remaining);
}

int main(int argc, char** argv)
{
    if (argc == 5 && std::strcmp(argv[1], "--remaining-user-tries") == 0)
        return remaining_user_tries(argv[2], argv[3], argv[4]);
    ::testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], "--module=", 9) == 0) set_module_under_test(argv[i] + 9);
    return RUN_ALL_TESTS();
}
