// Test fixture: copies of the token module installed under their own paths
// (each copy a vendor with its own state file), loaded by path.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "skf_module.h"

// The module under test, from --module=PATH on the command line.
void set_module_under_test(const std::string& path);

// The Annex A example key of GM/T 0003.5, hex.
extern const char annex_a_d[], annex_a_x[], annex_a_y[];
// A state with devices "SoftKey A" (applications APP and OTHER), "SoftKey B"
// and the absent "Unplugged"; APP holds container "annex-a" with the example
// key and an empty container "empty". PINs: user "user1234" (3 tries),
// admin "admin1234" (5 tries).
std::string standard_state();

// The same state with a "faults" array added.
std::string state_with_faults(const std::string& faults_json);

std::string utf8(const std::filesystem::path& path);
std::vector<std::uint8_t> from_hex(const std::string& hex);
std::vector<std::string> split_name_list(const char* list, std::size_t size);

class TokenTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Installs vendor `name` with `state_json` (no state file if empty) and
    // loads it; returns the module's path.
    std::string install(SkfModule& module, const std::string& name, const std::string& state_json);
    std::string read_state_file(const std::string& module_path);

    DEVHANDLE connect(const char* device = "SoftKey A");
    HAPPLICATION open_application(DEVHANDLE device, const char* name = "APP");
    HCONTAINER open_container(HAPPLICATION app, const char* name = "annex-a");
    void login(HAPPLICATION app, const char* pin = "user1234");

    std::filesystem::path dir_;
    SkfModule skf_;  // vendor "a" with standard_state() unless a test reinstalls it
    std::string module_path_;
};
