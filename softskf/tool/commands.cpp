#include "commands.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

#include "certificates.h"
#include "platform.h"
#include "state.h"
#include "token_client.h"
#include "tool_error.h"

using softskf::State;

namespace commands {

namespace {

std::string need(Options& o, const char* name)
{
    auto value = o.need(name);
    if (!value) throw UsageError(o.error());
    return *value;
}

unsigned long number(Options& o, const char* name, unsigned long fallback)
{
    auto value = o.number(name, fallback);
    if (!value) throw UsageError(o.error());
    return *value;
}

std::string module_path(Options& o)
{
    if (o.has("module")) return o.get("module");
    if (const char* env = std::getenv("SOFTSKF_MODULE")) return env;
    throw UsageError("missing --module (or SOFTSKF_MODULE): the token library whose state to provision");
}

std::string state_path(Options& o) { return module_path(o) + ".json"; }

State load_state(Options& o)
{
    std::string text;
    switch (softskf::read_whole_file(state_path(o), text)) {
    case softskf::ReadResult::missing: throw ToolError("no token state at " + state_path(o) + " (run init first)");
    case softskf::ReadResult::failed: throw ToolError("cannot read " + state_path(o));
    case softskf::ReadResult::ok: break;
    }
    auto state = softskf::parse_state(text);
    if (!state) throw ToolError(state_path(o) + " is not a token state");
    return *state;
}

void save_state(Options& o, const State& state)
{
    if (!softskf::replace_file_atomically(state_path(o), softskf::format_state(state)))
        throw ToolError("cannot write " + state_path(o));
}

ByteString read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) throw ToolError("cannot read " + path);
    return ByteString(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_file(const std::string& path, const std::string& data)
{
    std::ofstream out(path, std::ios::binary);
    if (!out.write(data.data(), static_cast<std::streamsize>(data.size())) || !out.flush())
        throw ToolError("cannot write " + path);
}

softskf::Device& device_in(State& state, const std::string& name)
{
    softskf::Device* device = softskf::find_device(state, name);
    if (!device) throw ToolError("no device named \"" + name + "\"");
    return *device;
}

void ensure_state(Options& o)
{
    std::string text;
    if (softskf::read_whole_file(state_path(o), text) == softskf::ReadResult::missing) save_state(o, State{});
}

void add_device_to_state(Options& o, State& state)
{
    std::string name = need(o, "name");
    if (softskf::find_device(state, name)) throw ToolError("device \"" + name + "\" exists already");
    softskf::Device device;
    device.name = name;
    device.present = !o.has("absent");
    device.info.label = o.get("label", name.substr(0, 31));
    device.info.serial_number = o.get("serial", "SOFTSKF-" + std::to_string(state.devices.size() + 1));
    device.info.manufacturer = o.get("manufacturer", device.info.manufacturer);
    device.info.issuer = o.get("issuer", device.info.issuer);
    if (o.has("user-data")) device.info.user_data = o.get("user-data");
    // A 32-byte label or serial fills its DEVINFO field without a NUL, as
    // tokens in the field do.
    if (device.info.label.size() > 32 || device.info.serial_number.size() > 32 ||
        device.info.manufacturer.size() > 63 || device.info.issuer.size() > 63 ||
        (device.info.user_data && device.info.user_data->size() > 63))
        throw ToolError("texts too long for DEVINFO: label and serial 32 bytes, manufacturer, issuer, user data 63");
    state.devices.push_back(device);
}

void create_application(Options& o, TokenClient& token, DEVHANDLE dev, const std::string& app)
{
    token.create_application(dev, app, o.get("admin-pin", default_admin_pin),
                             static_cast<unsigned>(number(o, "admin-retries", 10)), o.get("user-pin", default_user_pin),
                             static_cast<unsigned>(number(o, "user-retries", 10)));
}

// A new container with a key generated on the token and, unless --no-cert,
// a certificate from the test CA imported into it.
void create_container(Options& o, TokenClient& token, HAPPLICATION app)
{
    std::string name = need(o, "container");
    std::string key = o.get("key", "sm2");
    if (key != "sm2" && key != "rsa") throw UsageError("--key is sm2 or rsa");
    CertificateRequest request;
    request.subject = o.get("subject", "/CN=" + name + "/O=softskf");
    request.days = static_cast<unsigned>(number(o, "days", 365));
    unsigned bits = static_cast<unsigned>(number(o, "bits", 2048));
    std::string ca_dir = o.get("ca-dir", module_path(o) + ".ca");

    token.verify_user_pin(app, o.get("user-pin", default_user_pin));
    HCONTAINER con = token.create_container(app, name);
    ByteString cert;
    if (key == "sm2") {
        ECCPUBLICKEYBLOB blob = token.generate_sm2(con);
        if (!o.has("no-cert")) cert = issue_sm2_certificate(ca_dir, blob, request);
    } else {
        RSAPUBLICKEYBLOB blob = token.generate_rsa(con, bits);
        if (!o.has("no-cert")) cert = issue_rsa_certificate(ca_dir, blob, request);
    }
    if (cert.empty()) return;
    token.import_certificate(con, cert, true);
    if (o.has("cert-out")) write_file(o.get("cert-out"), certificate_to_pem(cert));
}

struct Opened {
    DEVHANDLE dev;
    HAPPLICATION app;
    HCONTAINER con;
};

Opened open_container(Options& o, TokenClient& token)
{
    Opened h{};
    h.dev = token.connect(need(o, "device"));
    h.app = token.open_application(h.dev, need(o, "app"));
    h.con = token.open_container(h.app, need(o, "container"));
    return h;
}

}  // namespace

int init(Options& o)
{
    std::string text;
    if (!o.has("force") && softskf::read_whole_file(state_path(o), text) != softskf::ReadResult::missing)
        throw ToolError(state_path(o) + " exists (use --force to start over)");
    save_state(o, State{});
    std::cout << "created " << state_path(o) << "\n";
    return 0;
}

int add_device(Options& o)
{
    State state = load_state(o);
    add_device_to_state(o, state);
    save_state(o, state);
    return 0;
}

int add_app(Options& o)
{
    TokenClient token(module_path(o));
    DEVHANDLE dev = token.connect(need(o, "device"));
    create_application(o, token, dev, need(o, "name"));
    return 0;
}

int add_container(Options& o)
{
    TokenClient token(module_path(o));
    DEVHANDLE dev = token.connect(need(o, "device"));
    create_container(o, token, token.open_application(dev, need(o, "app")));
    return 0;
}

int provision(Options& o)
{
    ensure_state(o);
    State state = load_state(o);
    std::string device = need(o, "device");
    if (!softskf::find_device(state, device)) {
        Options device_options = o;
        device_options.parse({"--name", device}, {});
        add_device_to_state(device_options, state);
        save_state(o, state);
    }
    TokenClient token(module_path(o));
    DEVHANDLE dev = token.connect(device);
    std::string app = need(o, "app");
    if (!token.has_application(dev, app)) create_application(o, token, dev, app);
    create_container(o, token, token.open_application(dev, app));
    return 0;
}

int import(Options& o)
{
    if (!o.has("key") && !o.has("cert")) throw UsageError("import needs --key, --cert or both");
    // Plain key material has no SKF call (vendors import it wrapped), so the
    // key goes straight into the state file.
    State state = load_state(o);
    softskf::Device& device = device_in(state, need(o, "device"));
    softskf::Application* app = softskf::find_application(device, need(o, "app"));
    if (!app) throw ToolError("no application named \"" + o.get("app") + "\"");
    std::string name = need(o, "container");
    softskf::Container* con = softskf::find_container(*app, name);
    if (!con) {
        app->containers.push_back(softskf::Container{});
        con = &app->containers.back();
        con->name = name;
    }
    bool signing = !o.has("encryption");
    if (o.has("key")) {
        softskf::KeyPair key = key_from_pem_file(o.get("key"));
        (signing ? con->sign_key : con->enc_key) = key;
        (signing ? con->sign_cert : con->enc_cert).clear();
    }
    if (o.has("cert")) (signing ? con->sign_cert : con->enc_cert) = certificate_from_pem_file(o.get("cert"));
    save_state(o, state);
    return 0;
}

int list(Options& o)
{
    State state = load_state(o);
    std::ostringstream out;
    for (const softskf::Device& d : state.devices) {
        out << "device \"" << d.name << "\"" << (d.present ? "" : " (absent)") << ": label \"" << d.info.label
            << "\", serial \"" << d.info.serial_number << "\"";
        if (d.info.user_data) out << ", user data \"" << *d.info.user_data << "\"";
        out << "\n";
        for (const softskf::Application& a : d.applications) {
            out << "  application \"" << a.name << "\": user PIN " << a.user_pin.retries_left << "/"
                << a.user_pin.max_retries << " tries" << (a.user_pin.retries_left == 0 ? " (locked)" : "")
                << ", admin PIN " << a.admin_pin.retries_left << "/" << a.admin_pin.max_retries << " tries\n";
            for (const softskf::Container& c : a.containers) {
                const auto& key = c.sign_key ? c.sign_key : c.enc_key;
                out << "    container \"" << c.name << "\": "
                    << (!key                                 ? "empty"
                        : key->type == softskf::KeyType::sm2 ? "SM2"
                                                             : "RSA")
                    << "\n";
                if (!c.sign_cert.empty()) out << "      signing " << describe_certificate(c.sign_cert) << "\n";
                if (!c.enc_cert.empty()) out << "      encryption " << describe_certificate(c.enc_cert) << "\n";
            }
        }
    }
    for (const softskf::Fault& f : state.faults)
        out << "fault " << f.call << " " << softskf::fault_kind_name(f.kind) << (f.device.empty() ? "" : " device=")
            << f.device << (f.application.empty() ? "" : " app=") << f.application
            << (f.container.empty() ? "" : " container=") << f.container << "\n";
    std::cout << out.str();
    return 0;
}

int sign(Options& o)
{
    TokenClient token(module_path(o));
    Opened h = open_container(o, token);
    ByteString message = read_file(need(o, "in"));
    std::string out_path = need(o, "out");
    std::string hash = o.get("hash", "sha1");
    if (hash != "sha1" && hash != "sha256") throw UsageError("--hash is sha1 or sha256");
    token.verify_user_pin(h.app, o.get("user-pin", default_user_pin));
    ByteString signature;
    switch (token.container_type(h.con)) {
    case SKF_CONTAINER_TYPE_ECC: signature = sm2_signature_to_der(token.sign_sm2(h.dev, h.con, message)); break;
    case SKF_CONTAINER_TYPE_RSA:
        signature = token.sign_rsa(h.dev, h.con, message, hash == "sha1" ? SGD_SHA1 : SGD_SHA256);
        break;
    default: throw ToolError("the container holds no key");
    }
    write_file(out_path, std::string(signature.begin(), signature.end()));
    return 0;
}

int export_cert(Options& o)
{
    State state = load_state(o);
    softskf::Device& device = device_in(state, need(o, "device"));
    softskf::Application* app = softskf::find_application(device, need(o, "app"));
    softskf::Container* con = app ? softskf::find_container(*app, need(o, "container")) : nullptr;
    if (!con) throw ToolError("no such application or container");
    const ByteString& der = o.has("encryption") ? con->enc_cert : con->sign_cert;
    if (der.empty()) throw ToolError("the container has no such certificate");
    write_file(need(o, "out"), o.has("der") ? std::string(der.begin(), der.end()) : certificate_to_pem(der));
    return 0;
}

int fault_add(Options& o)
{
    State state = load_state(o);
    softskf::Fault fault;
    fault.call = need(o, "call");
    std::string kind = o.get("kind", "fail");
    bool known = false;
    for (auto k :
         {softskf::FaultKind::fail, softskf::FaultKind::list_without_final_nul, softskf::FaultKind::size_over_buffer,
          softskf::FaultKind::length, softskf::FaultKind::unterminated_text, softskf::FaultKind::size_only_in_error}) {
        if (kind == softskf::fault_kind_name(k)) {
            fault.kind = k;
            known = true;
        }
    }
    if (!known) throw UsageError("unknown --kind " + kind);
    fault.code = static_cast<std::uint32_t>(number(o, "code", fault.code));
    fault.length = static_cast<std::uint32_t>(number(o, "length", fault.length));
    fault.extra = static_cast<std::uint32_t>(number(o, "extra", fault.extra));
    fault.device = o.get("device");
    fault.application = o.get("app");
    fault.container = o.get("container");
    state.faults.push_back(fault);
    save_state(o, state);
    return 0;
}

int fault_clear(Options& o)
{
    State state = load_state(o);
    state.faults.clear();
    save_state(o, state);
    return 0;
}

}  // namespace commands
