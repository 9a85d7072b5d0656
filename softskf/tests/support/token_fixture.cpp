#include "token_fixture.h"

#include <chrono>
#include <fstream>
#include <random>
#include <sstream>

namespace fs = std::filesystem;

namespace {
std::string module_under_test;
}

void set_module_under_test(const std::string& path) { module_under_test = path; }

const char annex_a_d[] = "3945208F7B2144B13F36E38AC6D39F95889393692860B51A42FB81EF4DF7C5B8";
const char annex_a_x[] = "09F9DF311E5421A150DD7D161E4BC5C672179FAD1833FC076BB08FF356F35020";
const char annex_a_y[] = "CCEA490CE26775A52DC6EA718CC1AA600AED05FBF35E084A6632F6072DA9AD13";

static std::string state_text(const std::string& faults)
{
    std::string state = R"({
  "devices": [
    {"name": "SoftKey A", "label": "Label A", "serial_number": "SN-A-0001", "user_data": "user data A",
     "manufacturer": "Soft Vendor", "issuer": "Soft Issuer", "hw_version": [2, 1],
     "applications": [
       {"name": "APP",
        "admin_pin": {"value": "admin1234", "max_retries": 5},
        "user_pin": {"value": "user1234", "max_retries": 3},
        "containers": [
          {"name": "annex-a",
           "sign_key": {"type": "sm2", "d": "D", "x": "X", "y": "Y"},
           "sign_cert": "3003020101"},
          {"name": "empty"}
        ]},
       {"name": "OTHER",
        "admin_pin": {"value": "admin1234", "max_retries": 5},
        "user_pin": {"value": "user1234", "max_retries": 3}}
     ]},
    {"name": "SoftKey B", "serial_number": "SN-B-0002"},
    {"name": "Unplugged", "present": false}
  ])";
    state.replace(state.find("\"D\""), 3, std::string("\"") + annex_a_d + "\"");
    state.replace(state.find("\"X\""), 3, std::string("\"") + annex_a_x + "\"");
    state.replace(state.find("\"Y\""), 3, std::string("\"") + annex_a_y + "\"");
    if (!faults.empty()) state += ",\n  \"faults\": " + faults;
    return state + "\n}\n";
}

std::string standard_state() { return state_text({}); }
std::string state_with_faults(const std::string& faults_json) { return state_text(faults_json); }

std::string utf8(const fs::path& path)
{
    auto text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::vector<std::uint8_t> from_hex(const std::string& hex)
{
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return out;
}

std::vector<std::string> split_name_list(const char* list, std::size_t size)
{
    std::vector<std::string> names;
    std::size_t i = 0;
    while (i < size && list[i] != '\0') {
        std::size_t end = i;
        while (end < size && list[end] != '\0') ++end;
        names.emplace_back(list + i, end - i);
        i = end + 1;
    }
    return names;
}

void TokenTest::SetUp()
{
    ASSERT_FALSE(module_under_test.empty()) << "run with --module=PATH";
    std::random_device random;
    dir_ = fs::temp_directory_path() / ("softskf-test-" + std::to_string(random()) + "-" +
                                        std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    fs::create_directories(dir_);
    module_path_ = install(skf_, "a", standard_state());
}

void TokenTest::TearDown()
{
    skf_.unload();
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
}

std::string TokenTest::install(SkfModule& module, const std::string& name, const std::string& state_json)
{
    module.unload();
    fs::path source = fs::absolute(fs::u8path(module_under_test));
    fs::path target = dir_ / name / source.filename();
    fs::create_directories(target.parent_path());
    // A module stays mapped after unloading; writing over its file in place
    // would change the code under it, so a reinstall gets a new file.
    fs::remove(target);
    fs::copy_file(source, target);
    fs::path state = target;
    state += ".json";
    if (!state_json.empty()) std::ofstream(state, std::ios::binary) << state_json;
    EXPECT_TRUE(module.load(utf8(target))) << module.error();
    return utf8(target);
}

std::string TokenTest::read_state_file(const std::string& module_path)
{
    std::ifstream in(fs::u8path(module_path + ".json"), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

DEVHANDLE TokenTest::connect(const char* device)
{
    DEVHANDLE h = nullptr;
    EXPECT_EQ(skf_.SKF_ConnectDev(const_cast<char*>(device), &h), SAR_OK);
    return h;
}

HAPPLICATION TokenTest::open_application(DEVHANDLE device, const char* name)
{
    HAPPLICATION h = nullptr;
    EXPECT_EQ(skf_.SKF_OpenApplication(device, const_cast<char*>(name), &h), SAR_OK);
    return h;
}

HCONTAINER TokenTest::open_container(HAPPLICATION app, const char* name)
{
    HCONTAINER h = nullptr;
    EXPECT_EQ(skf_.SKF_OpenContainer(app, const_cast<char*>(name), &h), SAR_OK);
    return h;
}

void TokenTest::login(HAPPLICATION app, const char* pin)
{
    SKF_ULONG retries = 0;
    EXPECT_EQ(skf_.SKF_VerifyPIN(app, USER_TYPE, const_cast<char*>(pin), &retries), SAR_OK);
}
