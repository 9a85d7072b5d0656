// Soft-token vendors for the token tests: a copy of the soft token module
// under a name of its own with its state file beside it, as a vendor's
// installer would leave it, and the .reg text that registers it.
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

#include "temp_dir.h"

class TokenVendor {
public:
    // Copies the module under a name made from `fileName` and writes
    // `stateJson` beside it. The copy lives until the process ends (see
    // token_vendor.cpp).
    TokenVendor(const std::string& fileName, const std::string& stateJson);
    const std::string& path() const { return path_; }
    std::string state() const;
    void setState(const std::string& stateJson) const;

private:
    std::string path_;
};

// Vendors registered as an installer registers them, one state each, named
// "Vendor 1", "Vendor 2", ...; the registration goes away with the object.
class RegisteredTokens {
public:
    explicit RegisteredTokens(std::initializer_list<std::string> states);
    // With more .reg text after the registrations (see skfSettings).
    RegisteredTokens(std::initializer_list<std::string> states, const std::string& moreRegText);
    ~RegisteredTokens();
    const TokenVendor& vendor(size_t i) const { return vendors_[i]; }

private:
    std::vector<TokenVendor> vendors_;
};

// State JSON pieces. `keyFixture` names a file of tests/fixtures/tokens
// ("sm2_zhang"); an empty one makes a container without key and certificate.
std::string tokenContainer(const std::string& name, const std::string& keyFixture);
std::string tokenApplication(const std::string& name, const std::string& userPin,
                             const std::vector<std::string>& containers, int retriesLeft = 6);
std::string tokenDevice(const std::string& name, const std::string& label, const std::string& serial,
                        const std::vector<std::string>& applications, const std::string& userData = "");
std::string tokenState(const std::vector<std::string>& devices, const std::vector<std::string>& faults = {});
// A fault entry; `scope` is a JSON member list such as "\"container\": \"c1\"".
std::string tokenFault(const std::string& call, const std::string& kind, const std::string& scope = "",
                       const std::string& extra = "");

// The DER signing certificate of a key fixture.
std::string tokenCertificate(const std::string& keyFixture);

// The .reg text registering providers (name, library path) in order.
std::string providerRegistration(const std::vector<std::pair<std::string, std::string>>& providers);
// The .reg text of values under the key that holds the provider tree, such
// as "\"EnumTimeoutMs\"=dword:0000012c" (lines without the header).
std::string skfSettings(const std::vector<std::string>& valueLines);

// True while the module at `path` is mapped into the process.
bool moduleIsLoaded(const std::string& path);
// Loads the module at `path`, lists its devices once and unloads it, as the
// library does in one call: what a token library's own load costs the
// process, apart from the library's. False when it cannot be loaded.
bool listDevicesAndUnload(const std::string& path);
// The address of `name` in the module at `path`, loading the module (it then
// stays loaded for the run, as every token copy does); null when absent.
void* tokenModuleFunction(const std::string& path, const char* name);
// The file name a shared library has on this platform ("x" -> "x.so"/"x.dll").
std::string libraryFileName(const std::string& stem);
