#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    // Scenarios that need a fresh process (process-wide state such as the
    // log) run as death tests; "threadsafe" re-runs the binary for them.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    return RUN_ALL_TESTS();
}
