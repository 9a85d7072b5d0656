#include "state.h"

#include <nlohmann/json.hpp>

namespace softskf {

using json = nlohmann::json;

namespace {

const struct {
    FaultKind kind;
    const char* name;
} fault_kinds[] = {
    {FaultKind::fail, "fail"},
    {FaultKind::list_without_final_nul, "list_without_final_nul"},
    {FaultKind::size_over_buffer, "size_over_buffer"},
    {FaultKind::length, "length"},
    {FaultKind::unterminated_text, "unterminated_text"},
    {FaultKind::size_only_in_error, "size_only_in_error"},
    {FaultKind::call_host, "call_host"},
    {FaultKind::block, "block"},
};

// Throws (caught in parse_state) on anything that is not what we wrote.
Bytes hex_field(const json& j, const char* key)
{
    if (!j.contains(key)) return {};
    auto data = from_hex(j.at(key).get<std::string>());
    if (!data) throw std::invalid_argument(key);
    return *data;
}

std::uint32_t code_field(const json& j)
{
    const json& code = j.at("code");
    if (code.is_string()) return static_cast<std::uint32_t>(std::stoul(code.get<std::string>(), nullptr, 0));
    return code.get<std::uint32_t>();
}

json key_to_json(const KeyPair& key)
{
    if (key.type == KeyType::sm2)
        return {{"type", "sm2"}, {"d", to_hex(key.d)}, {"x", to_hex(key.x)}, {"y", to_hex(key.y)}};
    return {{"type", "rsa"},      {"n", to_hex(key.n)}, {"e", to_hex(key.e)},
            {"d", to_hex(key.d)}, {"p", to_hex(key.p)}, {"q", to_hex(key.q)}};
}

KeyPair key_from_json(const json& j)
{
    KeyPair key;
    std::string type = j.at("type").get<std::string>();
    if (type == "sm2") {
        key.type = KeyType::sm2;
        key.d = hex_field(j, "d");
        key.x = hex_field(j, "x");
        key.y = hex_field(j, "y");
    } else if (type == "rsa") {
        key.type = KeyType::rsa;
        key.n = hex_field(j, "n");
        key.e = hex_field(j, "e");
        key.d = hex_field(j, "d");
        key.p = hex_field(j, "p");
        key.q = hex_field(j, "q");
    } else {
        throw std::invalid_argument("key type");
    }
    return key;
}

json pin_to_json(const Pin& pin)
{
    return {{"value", pin.value},
            {"max_retries", pin.max_retries},
            {"retries_left", pin.retries_left},
            {"default", pin.is_default}};
}

Pin pin_from_json(const json& j)
{
    Pin pin;
    pin.value = j.at("value").get<std::string>();
    pin.max_retries = j.value("max_retries", pin.max_retries);
    pin.retries_left = j.value("retries_left", pin.max_retries);
    if (pin.retries_left > pin.max_retries) pin.retries_left = pin.max_retries;
    pin.is_default = j.value("default", true);
    return pin;
}

json container_to_json(const Container& c)
{
    json j = {{"name", c.name}};
    if (c.sign_key) j["sign_key"] = key_to_json(*c.sign_key);
    if (!c.sign_cert.empty()) j["sign_cert"] = to_hex(c.sign_cert);
    if (c.enc_key) j["enc_key"] = key_to_json(*c.enc_key);
    if (!c.enc_cert.empty()) j["enc_cert"] = to_hex(c.enc_cert);
    return j;
}

Container container_from_json(const json& j)
{
    Container c;
    c.name = j.at("name").get<std::string>();
    if (j.contains("sign_key")) c.sign_key = key_from_json(j.at("sign_key"));
    if (j.contains("enc_key")) c.enc_key = key_from_json(j.at("enc_key"));
    c.sign_cert = hex_field(j, "sign_cert");
    c.enc_cert = hex_field(j, "enc_cert");
    return c;
}

json application_to_json(const Application& a)
{
    json containers = json::array();
    for (const Container& c : a.containers) containers.push_back(container_to_json(c));
    return {{"name", a.name},
            {"admin_pin", pin_to_json(a.admin_pin)},
            {"user_pin", pin_to_json(a.user_pin)},
            {"create_file_rights", a.create_file_rights},
            {"containers", containers}};
}

Application application_from_json(const json& j)
{
    Application a;
    a.name = j.at("name").get<std::string>();
    a.admin_pin = pin_from_json(j.at("admin_pin"));
    a.user_pin = pin_from_json(j.at("user_pin"));
    a.create_file_rights = j.value("create_file_rights", a.create_file_rights);
    for (const json& c : j.value("containers", json::array())) a.containers.push_back(container_from_json(c));
    return a;
}

json version_to_json(std::uint8_t major, std::uint8_t minor) { return json::array({major, minor}); }

void version_from_json(const json& j, const char* key, std::uint8_t& major, std::uint8_t& minor)
{
    if (!j.contains(key)) return;
    major = j.at(key).at(0).get<std::uint8_t>();
    minor = j.at(key).at(1).get<std::uint8_t>();
}

json device_to_json(const Device& d)
{
    json apps = json::array();
    for (const Application& a : d.applications) apps.push_back(application_to_json(a));
    json j = {{"name", d.name},
              {"present", d.present},
              {"manufacturer", d.info.manufacturer},
              {"issuer", d.info.issuer},
              {"label", d.info.label},
              {"serial_number", d.info.serial_number},
              {"hw_version", version_to_json(d.info.hw_major, d.info.hw_minor)},
              {"firmware_version", version_to_json(d.info.fw_major, d.info.fw_minor)},
              {"total_space", d.info.total_space},
              {"free_space", d.info.free_space},
              {"applications", apps}};
    if (d.info.user_data) j["user_data"] = *d.info.user_data;
    return j;
}

Device device_from_json(const json& j)
{
    Device d;
    d.name = j.at("name").get<std::string>();
    d.present = j.value("present", true);
    d.info.manufacturer = j.value("manufacturer", d.info.manufacturer);
    d.info.issuer = j.value("issuer", d.info.issuer);
    d.info.label = j.value("label", d.info.label);
    d.info.serial_number = j.value("serial_number", d.info.serial_number);
    if (j.contains("user_data") && !j.at("user_data").is_null())
        d.info.user_data = j.at("user_data").get<std::string>();
    version_from_json(j, "hw_version", d.info.hw_major, d.info.hw_minor);
    version_from_json(j, "firmware_version", d.info.fw_major, d.info.fw_minor);
    d.info.total_space = j.value("total_space", d.info.total_space);
    d.info.free_space = j.value("free_space", d.info.free_space);
    for (const json& a : j.value("applications", json::array())) d.applications.push_back(application_from_json(a));
    return d;
}

json fault_to_json(const Fault& f)
{
    json j = {{"call", f.call}, {"kind", fault_kind_name(f.kind)}};
    if (f.kind == FaultKind::fail || f.kind == FaultKind::size_only_in_error) j["code"] = f.code;
    if (f.kind == FaultKind::length) j["length"] = f.length;
    if (f.kind == FaultKind::size_over_buffer) j["extra"] = f.extra;
    if (!f.device.empty()) j["device"] = f.device;
    if (!f.application.empty()) j["application"] = f.application;
    if (!f.container.empty()) j["container"] = f.container;
    return j;
}

Fault fault_from_json(const json& j)
{
    Fault f;
    f.call = j.at("call").get<std::string>();
    std::string kind = j.value("kind", std::string("fail"));
    bool known = false;
    for (const auto& k : fault_kinds) {
        if (kind == k.name) {
            f.kind = k.kind;
            known = true;
        }
    }
    if (!known) throw std::invalid_argument("fault kind");
    if (j.contains("code")) f.code = code_field(j);
    f.length = j.value("length", f.length);
    f.extra = j.value("extra", f.extra);
    f.device = j.value("device", std::string());
    f.application = j.value("application", std::string());
    f.container = j.value("container", std::string());
    return f;
}

}  // namespace

const char* fault_kind_name(FaultKind kind)
{
    for (const auto& k : fault_kinds)
        if (k.kind == kind) return k.name;
    return "fail";
}

std::optional<State> parse_state(const std::string& text)
{
    try {
        // Text that is not JSON is told apart without an exception: a state
        // file is read on every call, and a thrown parse error costs more
        // than the parse.
        json j = json::parse(text, nullptr, false);
        if (j.is_discarded() || !j.is_object()) return std::nullopt;
        State state;
        for (const json& d : j.value("devices", json::array())) state.devices.push_back(device_from_json(d));
        for (const json& f : j.value("faults", json::array())) state.faults.push_back(fault_from_json(f));
        return state;
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::string format_state(const State& state)
{
    json devices = json::array();
    for (const Device& d : state.devices) devices.push_back(device_to_json(d));
    json j = {{"devices", devices}};
    if (!state.faults.empty()) {
        json faults = json::array();
        for (const Fault& f : state.faults) faults.push_back(fault_to_json(f));
        j["faults"] = faults;
    }
    return j.dump(2) + "\n";
}

Device* find_device(State& state, const std::string& name)
{
    for (Device& d : state.devices)
        if (d.name == name) return &d;
    return nullptr;
}

Application* find_application(Device& device, const std::string& name)
{
    for (Application& a : device.applications)
        if (a.name == name) return &a;
    return nullptr;
}

Container* find_container(Application& application, const std::string& name)
{
    for (Container& c : application.containers)
        if (c.name == name) return &c;
    return nullptr;
}

}  // namespace softskf
