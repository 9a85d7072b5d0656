#include "token_vendor.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "fixtures.h"
#include "test_registry.h"

namespace {

std::string joined(const std::vector<std::string>& parts)
{
    std::string out;
    for (const auto& p : parts) out += (out.empty() ? "" : ",") + p;
    return out;
}

std::string quoted(const std::string& text)
{
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out.push_back('\\');
        out.push_back(c);
    }
    return out + "\"";
}

}  // namespace

namespace {

// Loaded modules stay loaded for the whole run, and loaders know a module
// again by its file's identity (device and inode, under Wine as in glibc).
// A copy deleted while loaded frees its inode for the next copy, which the
// loader would then take for the old module; so every copy lives in one
// folder that stays until the process ends, under a name of its own.
const TempDir& moduleFolder()
{
    static TempDir folder;
    return folder;
}

std::string uniqueName(const std::string& fileName)
{
    static int serial = 0;
    size_t dot = fileName.rfind('.');
    std::string tag = "-" + std::to_string(++serial);
    return dot == std::string::npos ? fileName + tag : fileName.substr(0, dot) + tag + fileName.substr(dot);
}

}  // namespace

TokenVendor::TokenVendor(const std::string& fileName, const std::string& stateJson)
    : path_(moduleFolder().file(uniqueName(fileName)))
{
    std::filesystem::copy_file(SOFTSKF_MODULE_PATH, path_, std::filesystem::copy_options::overwrite_existing);
    setState(stateJson);
}

std::string TokenVendor::state() const
{
    std::ifstream in(path_ + ".json", std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void TokenVendor::setState(const std::string& stateJson) const
{
    std::ofstream out(path_ + ".json", std::ios::binary | std::ios::trunc);
    out << stateJson;
}

RegisteredTokens::RegisteredTokens(std::initializer_list<std::string> states) : RegisteredTokens(states, "") {}

RegisteredTokens::RegisteredTokens(std::initializer_list<std::string> states, const std::string& moreRegText)
{
    std::vector<std::pair<std::string, std::string>> providers;
    for (const auto& state : states) {
        std::string n = std::to_string(vendors_.size() + 1);
        vendors_.emplace_back(libraryFileName("vendor" + n), state);
        providers.emplace_back("Vendor " + n, vendors_.back().path());
    }
    test_registry_install(providerRegistration(providers) + moreRegText);
}

RegisteredTokens::~RegisteredTokens() { test_registry_clear(); }

std::string tokenContainer(const std::string& name, const std::string& keyFixture)
{
    if (keyFixture.empty()) return "{\"name\": " + quoted(name) + "}";
    std::string key = fixture("tokens/" + keyFixture + ".json");
    size_t open = key.find('{');
    return "{\"name\": " + quoted(name) + ", " + key.substr(open + 1);
}

std::string tokenApplication(const std::string& name, const std::string& userPin,
                             const std::vector<std::string>& containers, int retriesLeft)
{
    return "{\"name\": " + quoted(name) + ", \"admin_pin\": {\"value\": \"12345678\", \"max_retries\": 6}, " +
           "\"user_pin\": {\"value\": " + quoted(userPin) +
           ", \"max_retries\": 6, \"retries_left\": " + std::to_string(retriesLeft) + "}, \"containers\": [" +
           joined(containers) + "]}";
}

std::string tokenDevice(const std::string& name, const std::string& label, const std::string& serial,
                        const std::vector<std::string>& applications, const std::string& userData)
{
    std::string text = "{\"name\": " + quoted(name) + ", \"label\": " + quoted(label) +
                       ", \"serial_number\": " + quoted(serial);
    if (!userData.empty()) text += ", \"user_data\": " + quoted(userData);
    return text + ", \"applications\": [" + joined(applications) + "]}";
}

std::string tokenState(const std::vector<std::string>& devices, const std::vector<std::string>& faults)
{
    return "{\"devices\": [" + joined(devices) + "], \"faults\": [" + joined(faults) + "]}";
}

std::string tokenFault(const std::string& call, const std::string& kind, const std::string& scope,
                       const std::string& extra)
{
    std::string text = "{\"call\": " + quoted(call) + ", \"kind\": " + quoted(kind);
    if (!scope.empty()) text += ", " + scope;
    if (!extra.empty()) text += ", " + extra;
    return text + "}";
}

std::string tokenCertificate(const std::string& keyFixture)
{
    std::string key = fixture("tokens/" + keyFixture + ".json");
    const std::string field = "\"sign_cert\": \"";
    size_t start = key.find(field) + field.size();
    return unhex(key.substr(start, key.find('"', start) - start));
}

std::string providerRegistration(const std::vector<std::pair<std::string, std::string>>& providers)
{
    std::string text = kRegHeader;
    for (const auto& [name, path] : providers)
        text += "[HKEY_LOCAL_MACHINE\\SOFTWARE\\TARNO_II\\Cryptography\\SKF\\Provider\\" + name +
                "]\r\n\"SKFImagePath\"=" + regString(path) + "\r\n\r\n";
    return text;
}

std::string skfSettings(const std::vector<std::string>& valueLines)
{
    std::string text = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\TARNO_II\\Cryptography\\SKF]\r\n";
    for (const std::string& line : valueLines) text += line + "\r\n";
    return text + "\r\n";
}
