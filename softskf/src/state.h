// The token state: every device this module (one "vendor") offers, with its
// applications, PINs and containers, plus the faults a test asked for. It is
// the in-memory image of the JSON file beside the module.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "bytes.h"

namespace softskf {

enum class KeyType { sm2, rsa };

// Private key material, big-endian unsigned integers. SM2: d, x, y.
// RSA: n, e, d, p, q (the rest is derived when the key is used).
struct KeyPair {
    KeyType type = KeyType::sm2;
    Bytes d, x, y;
    Bytes n, e, p, q;
};

struct Container {
    std::string name;
    std::optional<KeyPair> sign_key;
    std::optional<KeyPair> enc_key;
    Bytes sign_cert;  // DER, empty when none
    Bytes enc_cert;
};

struct Pin {
    std::string value;
    std::uint32_t max_retries = 10;
    std::uint32_t retries_left = 10;
    bool is_default = true;
};

struct Application {
    std::string name;
    Pin admin_pin;
    Pin user_pin;
    std::uint32_t create_file_rights = 0xFF;
    std::vector<Container> containers;
};

struct DeviceInfo {
    std::string manufacturer = "softskf";
    std::string issuer = "softskf";
    std::string label;
    std::string serial_number;
    std::optional<std::string> user_data;  // text in DEVINFO.Reserved
    std::uint8_t hw_major = 1, hw_minor = 0;
    std::uint8_t fw_major = 1, fw_minor = 0;
    std::uint32_t total_space = 65536;
    std::uint32_t free_space = 32768;
};

struct Device {
    std::string name;
    bool present = true;
    DeviceInfo info;
    std::vector<Application> applications;
};

// How an injected fault shows itself.
enum class FaultKind {
    fail,                    // the call returns `code` and does nothing
    list_without_final_nul,  // a name list lacks its terminating extra NUL
    size_over_buffer,        // output fills the caller's buffer, reported size is larger
    length,                  // output claims `length` bytes (padded with zeros)
    unterminated_text,       // DEVINFO texts fill their fields without a NUL
    size_only_in_error,      // a size query without a buffer fails; a too-small buffer gets the size
    call_host,               // the call first calls back into its host (softskf_setHostCallback)
    block,                   // the call first waits until softskf_releaseBlocked
};

struct Fault {
    std::string call;  // e.g. "SKF_ECCSignData"
    FaultKind kind = FaultKind::fail;
    std::uint32_t code = 0x0A000001;  // SAR_FAIL
    std::uint32_t length = 0;         // for FaultKind::length
    std::uint32_t extra = 16;         // for FaultKind::size_over_buffer
    // Empty means "any"; otherwise the call must concern that object.
    std::string device, application, container;
};

struct State {
    std::vector<Device> devices;
    std::vector<Fault> faults;
};

// JSON text <-> State. parse_state returns nullopt for text that is not a
// well-formed state (the caller must then leave the file alone).
std::optional<State> parse_state(const std::string& text);
std::string format_state(const State& state);

const char* fault_kind_name(FaultKind kind);

Device* find_device(State& state, const std::string& name);
Application* find_application(Device& device, const std::string& name);
Container* find_container(Application& application, const std::string& name);

}  // namespace softskf
