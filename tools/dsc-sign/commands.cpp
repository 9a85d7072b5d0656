#include "commands.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "args.h"
#include "base64.h"
#include "files.h"
#include "result_codes.h"
#include "usage.h"

namespace {

// Sgn_SelectCertByDn writes into a caller area of this size (no length is
// passed); the key-serial selection gets the same room.
const int kCertArea = 4096;
const int kTextArea = 4096;

int usage_error(const std::string& command, const std::string& message)
{
    std::fprintf(stderr, "dsc-sign %s: %s\n%s", command.c_str(), message.c_str(), command_usage(command));
    return kExitUsage;
}

int failed(const std::string& command, int code)
{
    const char* meaning = dsc_result_meaning(code);
    std::fprintf(stderr, "dsc-sign %s: failed with %d: %s\n", command.c_str(), code,
                 meaning ? meaning : "unlisted code (see the log, --log PATH)");
    return kExitFailed;
}

int file_error(const std::string& command, const std::string& message)
{
    std::fprintf(stderr, "dsc-sign %s: %s\n", command.c_str(), message.c_str());
    return kExitFailed;
}

// The selection options shared by `select` and `sign`. Exactly one way of
// selecting; `sign` without any falls back to every certificate.
struct Selection {
    const char* field = nullptr;
    const char* value = nullptr;
    const char* keySn = nullptr;
};

bool read_selection(const ParsedArgs& a, bool required, Selection& s, std::string& error)
{
    int ways = a.has("--dn") + a.has("--key-sn") + a.has("--all") + (a.has("--field") || a.has("--value"));
    if (ways > 1) {
        error = "give only one of --dn, --field/--value, --key-sn, --all";
        return false;
    }
    if (ways == 0 && required) {
        error = "say which certificate: --dn, --field/--value, --key-sn or --all";
        return false;
    }
    if (a.has("--field") != a.has("--value")) {
        error = "--field and --value go together";
        return false;
    }
    if (a.has("--dn")) {
        s.field = "DN";
        s.value = a.value("--dn");
    } else if (a.has("--field")) {
        s.field = a.value("--field");
        s.value = a.value("--value");
    } else if (a.has("--key-sn")) {
        s.keySn = a.value("--key-sn");
    }
    return true;
}

int select_certificate(const DscLibrary& lib, const Selection& s, std::string& cert)
{
    std::vector<char> area(kCertArea, 0);
    int rc = s.keySn ? lib.Sgn_SelectCertByKeySn(s.keySn, area.data(), kCertArea)
                     : lib.Sgn_SelectCertByDn(s.field, s.value, area.data());
    if (rc == 0) cert.assign(area.data(), strnlen(area.data(), area.size()));
    return rc;
}

// A property of a certificate text, sized by asking the library first.
int cert_property(const DscLibrary& lib, const std::string& cert, const char* field, std::string& value)
{
    int length = lib.Sgn_GetCertProperty(cert.c_str(), field, nullptr, 0);
    if (length < 0) return length;
    std::vector<char> out(static_cast<size_t>(length) + 1, 0);
    int rc = lib.Sgn_GetCertProperty(cert.c_str(), field, out.data(), static_cast<int>(out.size()));
    if (rc == 0) value.assign(out.data(), strnlen(out.data(), out.size()));
    return rc;
}

int cmd_devices(const DscLibrary& lib, const ParsedArgs& a)
{
    if (!a.positional.empty()) return usage_error("devices", "takes no arguments");
    std::vector<char> out(kTextArea, 0);
    int rc = lib.Sgn_Dev_Enum(a.value("--sep"), out.data(), kTextArea);
    if (rc < 0) return failed("devices", rc);
    std::printf("%s\n", out.data());
    return kExitOk;
}

int device_text(const char* command, const ParsedArgs& a, bool labelRequired, int (*call)(const char*, char*, int))
{
    if (a.positional.size() > 1 || (labelRequired && a.positional.empty()))
        return usage_error(command, labelRequired ? "give one LABEL" : "give at most one LABEL");
    const char* label = a.positional.empty() ? nullptr : a.positional[0].c_str();
    std::vector<char> out(kTextArea, 0);
    int rc = call(label, out.data(), kTextArea);
    if (rc < 0) return failed(command, rc);
    std::printf("%s\n", out.data());
    return kExitOk;
}

int cmd_change_pin(const DscLibrary& lib, const ParsedArgs& a)
{
    if (a.positional.size() != 2) return usage_error("change-pin", "give OLD and NEW");
    int rc = lib.Sgn_Dev_ChangePin_ex(a.value("--label"), a.positional[0].c_str(), a.positional[1].c_str());
    if (rc < 0) return failed("change-pin", rc);
    std::printf("PIN changed\n");
    return kExitOk;
}

int cmd_select(const DscLibrary& lib, const ParsedArgs& a)
{
    if (!a.positional.empty()) return usage_error("select", "takes no arguments besides the options");
    Selection s;
    std::string error;
    if (!read_selection(a, true, s, error)) return usage_error("select", error);
    std::string cert;
    int rc = select_certificate(lib, s, cert);
    if (rc < 0) return failed("select", rc);
    std::printf("%s\n", cert.c_str());
    return kExitOk;
}

int cmd_sign(const DscLibrary& lib, const ParsedArgs& a)
{
    if (a.positional.size() != 1) return usage_error("sign", "give one FILE");
    Selection s;
    std::string error;
    if (!read_selection(a, false, s, error)) return usage_error("sign", error);

    const std::string& path = a.positional[0];
    // The library takes the data's length as an int, so it cannot be given
    // more than 2 GiB - 1 bytes. A larger file is refused before it is read:
    // reading it first would hold gigabytes only to refuse them, and where
    // the address space is 32-bit it would fail as an unreadable file.
    auto tooLarge = [&path](std::uint64_t length) {
        return file_error("sign", path + " is larger than 2 GiB (" + std::to_string(length) + " bytes); at most " +
                                      std::to_string(INT_MAX) + " bytes can be signed");
    };
    std::uint64_t length = 0;
    if (!file_length(path, length, error)) return file_error("sign", error);
    if (length > static_cast<std::uint64_t>(INT_MAX)) return tooLarge(length);
    std::vector<unsigned char> data;
    if (!read_file(path, data, error)) return file_error("sign", error);
    // The library takes a length of 0 as "a NUL-terminated text", so an
    // empty file would be read past; refuse it here.
    if (data.empty()) return file_error("sign", path + " is empty; there is nothing to sign");
    if (data.size() > static_cast<size_t>(INT_MAX)) return tooLarge(data.size());  // it grew meanwhile

    std::string cert;
    int rc = select_certificate(lib, s, cert);
    if (rc < 0) return failed("sign", rc);

    bool detached = a.has("--detached");
    char* result = lib.Sgn_Sign(data.data(), static_cast<int>(data.size()), detached ? 2 : 1, a.value("--pin"));
    if (!result) return file_error("sign", "the library returned no result");
    // The text is used where the library put it: for a large file it is the
    // biggest block this process holds.
    if (result[0] == '-') {
        int code = std::atoi(result);
        lib.Sgn_Free(result);
        return failed("sign", code);
    }

    const char* out = a.value("--out");
    if (!out) {
        std::printf("%s\n", result);
        lib.Sgn_Free(result);
        return kExitOk;
    }
    size_t derSize = 0;
    bool written = write_base64_as_binary(out, result, std::strlen(result), derSize, error);
    lib.Sgn_Free(result);
    if (!written) return file_error("sign", error);
    std::string subject;
    if (cert_property(lib, cert, "DN", subject) < 0) subject = "(subject not readable)";
    std::printf("signed %s (%zu bytes) with \"%s\"\n", path.c_str(), data.size(), subject.c_str());
    std::printf("wrote %s: PKCS#7 SignedData, DER, %zu bytes, data %s\n", out, derSize,
                detached ? "detached" : "attached");
    return kExitOk;
}

int cmd_prop(const DscLibrary& lib, const ParsedArgs& a)
{
    if (a.positional.size() != 2) return usage_error("prop", "give CERTFILE and a property name");
    std::vector<unsigned char> bytes;
    std::string error;
    if (!read_file(a.positional[0], bytes, error)) return file_error("prop", error);
    // The library takes base64 text (PEM armour allowed); a DER file is
    // turned into that text first. DER starts with a SEQUENCE tag, which no
    // text form does.
    std::string cert = !bytes.empty() && bytes[0] == 0x30 ? base64_encode(bytes)
                                                          : std::string(bytes.begin(), bytes.end());
    std::string value;
    int rc = cert_property(lib, cert, a.positional[1].c_str(), value);
    if (rc < 0) return failed("prop", rc);
    std::printf("%s\n", value.c_str());
    return kExitOk;
}

}  // namespace

bool is_command(const std::string& command) { return command_usage(command) != nullptr; }

int run_command(const DscLibrary& lib, const std::string& command, const std::vector<std::string>& args)
{
    ParsedArgs a;
    std::string error;
    bool ok = true;
    if (command == "devices")
        ok = parse_args(args, {"--sep"}, {}, a, error);
    else if (command == "serial" || command == "userdata")
        ok = parse_args(args, {}, {}, a, error);
    else if (command == "change-pin")
        ok = parse_args(args, {"--label"}, {}, a, error);
    else if (command == "select")
        ok = parse_args(args, {"--dn", "--field", "--value", "--key-sn"}, {"--all"}, a, error);
    else if (command == "sign")
        ok = parse_args(args, {"--dn", "--field", "--value", "--key-sn", "--pin", "--out"}, {"--all", "--detached"}, a,
                        error);
    else if (command == "prop")
        ok = parse_args(args, {}, {}, a, error);
    else {
        std::fprintf(stderr, "dsc-sign: unknown command %s\n%s", command.c_str(), general_usage());
        return kExitUsage;
    }
    if (!ok) return usage_error(command, error);

    if (command == "devices") return cmd_devices(lib, a);
    if (command == "serial") return device_text("serial", a, true, lib.Sgn_Dev_GetSerialNumber);
    if (command == "userdata") return device_text("userdata", a, false, lib.Sgn_Dev_GetUserData);
    if (command == "change-pin") return cmd_change_pin(lib, a);
    if (command == "select") return cmd_select(lib, a);
    if (command == "sign") return cmd_sign(lib, a);
    return cmd_prop(lib, a);
}
