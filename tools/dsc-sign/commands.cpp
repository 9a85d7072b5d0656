#include "commands.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "args.h"
#include "base64.h"
#include "console.h"
#include "files.h"
#include "forms.h"
#include "pin.h"
#include "result_codes.h"
#include "usage.h"
#include "crypto.h"
#include "verify.h"
#include "verify_report.h"

namespace {

// Sgn_SelectCertByDn writes into a caller area of this size (no length is
// passed); the key-serial selection gets the same room.
const int kCertArea = DSC_JNA_CERT_TEXT_SIZE;
// Labels, serial numbers, user data and property texts: the same room.
const int kTextArea = DSC_JNA_CERT_TEXT_SIZE;
// The exports' own limits, refused here as usage errors that name them:
// the library would only answer "a required argument is missing or empty".
const size_t kSeparatorMax = DSC_JNA_SEPARATOR_MAX;
const size_t kFieldMax = DSC_JNA_FIELD_NAME_MAX;

bool within_limit(const char* option, const char* value, size_t limit, std::string& error)
{
    if (!value || std::strlen(value) <= limit) return true;
    error = std::string(option) + " is longer than " + std::to_string(limit) + " characters, the library's limit";
    return false;
}

std::string display_name(const std::string& path) { return is_standard_stream(path) ? "standard input" : path; }

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

// A PIN source that could not be used: a wrong option is a usage error, an
// unreadable source a failure.
int pin_error(const std::string& command, PinResult r, const std::string& error)
{
    return r == PinResult::kUsage ? usage_error(command, error) : file_error(command, error);
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
    if (!within_limit("--field", a.value("--field"), kFieldMax, error)) return false;
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
    std::string error;
    if (!within_limit("--sep", a.value("--sep"), kSeparatorMax, error)) return usage_error("devices", error);
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

// PINs given on the command line are not kept in this process's memory
// longer than needed (the caller's argv is beyond reach).
void wipe_pin_options(ParsedArgs& a)
{
    for (const char* name : {"--pin", "--old-pin", "--new-pin"}) {
        auto it = a.values.find(name);
        if (it != a.values.end()) wipe_text(it->second.data(), it->second.size());
    }
}

// The old and new PIN of change-pin: from their options, from the older
// positional OLD NEW, or asked for at the terminal (the new one twice).
int change_pin_inputs(ParsedArgs& a, Secret& oldPin, Secret& newPin)
{
    if (!a.positional.empty() && a.positional.size() != 2) return usage_error("change-pin", "give OLD and NEW");
    if (a.positional.size() == 2) {
        a.values["--old-pin"] = a.positional[0];
        a.values["--new-pin"] = a.positional[1];
        for (std::string& pin : a.positional) wipe_text(pin.data(), pin.size());
    }
    std::string error;
    PinResult r = pin_from_options(a, "--old-pin", oldPin, error);
    if (r == PinResult::kNone) r = pin_from_prompt("old PIN: ", oldPin, error);
    if (r == PinResult::kGot) {
        r = pin_from_options(a, "--new-pin", newPin, error);
        if (r == PinResult::kNone) {
            Secret again;
            r = pin_from_prompt("new PIN: ", newPin, error);
            if (r == PinResult::kGot) r = pin_from_prompt("new PIN again: ", again, error);
            if (r == PinResult::kGot && !newPin.equals(again)) {
                error = "the two new PINs differ";
                r = PinResult::kFailed;
            }
        }
    }
    wipe_pin_options(a);
    if (r == PinResult::kNone)
        return usage_error("change-pin", "give the PINs: --old-pin-env/-fd/-file and --new-pin-env/-fd/-file, or "
                                         "run it at a terminal to be asked");
    if (r != PinResult::kGot) return pin_error("change-pin", r, error);
    return kExitOk;
}

int cmd_change_pin(const DscLibrary& lib, ParsedArgs& a)
{
    Secret oldPin, newPin;
    int status = change_pin_inputs(a, oldPin, newPin);
    if (status != kExitOk) return status;
    int rc = lib.Sgn_Dev_ChangePin_ex(a.value("--label"), oldPin.c_str(), newPin.c_str());
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
    if (!a.has("--pem")) {
        std::printf("%s\n", cert.c_str());
        return kExitOk;
    }
    size_t derBytes = 0;
    console_binary(stdout);
    if (!write_base64_as(stdout, cert.data(), cert.size(), Form::kPem, "CERTIFICATE", derBytes, error) ||
        std::fflush(stdout) != 0)
        return file_error("select", error.empty() ? "cannot write standard output" : error);
    return kExitOk;
}

int cmd_sign(const DscLibrary& lib, ParsedArgs& a)
{
    if (a.positional.size() != 1) return usage_error("sign", "give one FILE");
    Selection s;
    std::string error;
    if (!read_selection(a, false, s, error)) return usage_error("sign", error);
    const char* out = a.value("--out");
    // Unchanged defaults: base64 text on standard output, DER in a file.
    Form form = out ? Form::kDer : Form::kBase64;
    if (a.has("--form") && !parse_form(a.value("--form"), form))
        return usage_error("sign", std::string("--form is der, pem or base64, not ") + a.value("--form"));
    Secret pin;
    PinResult pinResult = pin_from_options(a, "--pin", pin, error);
    wipe_pin_options(a);
    if (pinResult == PinResult::kUsage || pinResult == PinResult::kFailed) return pin_error("sign", pinResult, error);

    const std::string& path = a.positional[0];
    const std::string name = display_name(path);
    // The library takes the data's length as an int, so it cannot be given
    // more than 2 GiB - 1 bytes. A larger file is refused before it is read:
    // reading it first would hold gigabytes only to refuse them, and where
    // the address space is 32-bit it would fail as an unreadable file. A pipe
    // is refused as soon as it has delivered one byte too many.
    auto tooLarge = [&name](const std::string& length) {
        return file_error("sign", name + " is larger than 2 GiB (" + length + "); at most " + std::to_string(INT_MAX) +
                                      " bytes can be signed");
    };
    std::uint64_t length = 0;
    bool known = false;
    if (!input_length(path, length, known, error)) return file_error("sign", error);
    if (known && length > static_cast<std::uint64_t>(INT_MAX)) return tooLarge(std::to_string(length) + " bytes");
    std::vector<unsigned char> data;
    bool over = false;
    if (!read_input(path, static_cast<std::uint64_t>(INT_MAX), data, over, error)) return file_error("sign", error);
    if (over) return tooLarge("more than " + std::to_string(INT_MAX) + " bytes");
    // The library takes a length of 0 as "a NUL-terminated text", so an
    // empty file would be read past; refuse it here.
    if (data.empty()) return file_error("sign", name + " is empty; there is nothing to sign");

    std::string cert;
    int rc = select_certificate(lib, s, cert);
    if (rc < 0) return failed("sign", rc);
    std::string subject;
    if (cert_property(lib, cert, "DN", subject) < 0) subject = "(subject not readable)";
    // Asked for only now, so the prompt can name the certificate; never when
    // the data itself comes from standard input.
    if (pinResult == PinResult::kNone && !is_standard_stream(path)) {
        pinResult = pin_from_prompt("PIN for \"" + subject + "\": ", pin, error);
        if (pinResult == PinResult::kUsage || pinResult == PinResult::kFailed)
            return pin_error("sign", pinResult, error);
    }

    bool detached = a.has("--detached");
    char* result = lib.Sgn_Sign(data.data(), static_cast<int>(data.size()), detached ? 2 : 1,
                                pinResult == PinResult::kGot ? pin.c_str() : nullptr);
    pin.wipe();
    if (!result) return file_error("sign", "the library returned no result");
    // The text is used where the library put it: for a large file it is the
    // biggest block this process holds.
    if (result[0] == '-') {
        int code = std::atoi(result);
        lib.Sgn_Free(result);
        return failed("sign", code);
    }

    Output output(out ? out : "-");
    if (!output.open(error)) {
        lib.Sgn_Free(result);
        return file_error("sign", error);
    }
    size_t derBytes = 0;
    bool written = write_base64_as(output.stream(), result, std::strlen(result), form, "PKCS7", derBytes, error);
    lib.Sgn_Free(result);
    std::string closing;
    if (!output.finish(closing) && written) {
        written = false;
        error = closing;
    }
    if (!written) return file_error("sign", error);
    // The summary is for the person at the terminal; standard output holds
    // the signature alone, whatever it is redirected to.
    if (out) {
        const char* formName = form == Form::kDer ? "DER" : form == Form::kPem ? "PEM" : "base64";
        std::fprintf(stderr, "signed %s (%zu bytes) with \"%s\"\n", name.c_str(), data.size(), subject.c_str());
        std::fprintf(stderr, "wrote %s: PKCS#7 SignedData, %s, %zu bytes of DER, data %s\n",
                     is_standard_stream(out) ? "standard output" : out, formName, derBytes,
                     detached ? "detached" : "attached");
    }
    return kExitOk;
}

int cmd_prop(const DscLibrary& lib, const ParsedArgs& a)
{
    if (a.positional.size() != 2) return usage_error("prop", "give CERTFILE and a property name");
    std::vector<unsigned char> bytes;
    std::string error;
    if (!within_limit("the property name", a.positional[1].c_str(), kFieldMax, error))
        return usage_error("prop", error);
    if (!read_input(a.positional[0], bytes, error)) return file_error("prop", error);
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

// verify's own failures: what cannot be read and what is not given are not
// verdicts about a signature, so they share the usage status (2).
int verify_input_error(const std::string& message)
{
    std::fprintf(stderr, "dsc-sign verify: %s\n", message.c_str());
    return kExitUsage;
}

int cmd_verify(const ParsedArgs& a)
{
    if (a.positional.size() != 1) return usage_error("verify", "give one P7 file");
    const std::string& path = a.positional[0];
    const char* contentPath = a.value("--content");
    const char* caPath = a.value("--ca");
    int fromStdin = is_standard_stream(path) + (contentPath && is_standard_stream(contentPath)) +
                    (caPath && is_standard_stream(caPath));
    if (fromStdin > 1)
        return usage_error("verify", "standard input can hold only one of the P7, the content and the CA file");
    std::string sm2Id = a.has("--sm2-id") ? a.value("--sm2-id") : kDefaultSm2Id;
    // ENTL, the identity's length in bits, is a 16-bit field of Z.
    if (sm2Id.size() > 8191) return usage_error("verify", "--sm2-id is longer than 8191 bytes, the limit of SM2's Z");

    std::vector<unsigned char> input, der, content, caText;
    std::vector<Certificate> anchors;
    std::string error;
    if (!read_input(path, input, error)) return verify_input_error(error);
    if (contentPath && !read_input(contentPath, content, error)) return verify_input_error(error);
    if (caPath && (!read_input(caPath, caText, error) || !read_anchors(caText, anchors, error)))
        return verify_input_error("--ca " + display_name(caPath) + ": " + error);
    bool json = a.has("--json");
    VerifyReport r;
    if (!der_from_any_form(input, der)) {
        r.verdict = Verdict::kMalformed;
        r.reason = display_name(path) + " is not a SignedData in DER, PEM or base64";
    } else {
        crypto_init();
        VerifyOptions options;
        options.content = contentPath ? &content : nullptr;
        options.sm2Id = sm2Id;
        options.anchors = caPath ? &anchors : nullptr;
        r = verify_signed_data(der, options);
    }
    if (json) print_report_json(stdout, r);
    if (r.verdict == Verdict::kNoContent) {
        std::fprintf(stderr, "dsc-sign verify: %s\n%s", r.reason.c_str(), json ? "" : command_usage("verify"));
        return kExitUsage;
    }
    if (!json || r.verdict != Verdict::kValid) print_report_text(r);
    return verdict_exit_status(r.verdict);
}

}  // namespace

bool is_command(const std::string& command) { return command_usage(command) != nullptr; }

int run_command(const DscLibrary* lib, const std::string& command, const std::vector<std::string>& args)
{
    ParsedArgs a;
    std::string error;
    bool ok = true;
    if (command == "devices")
        ok = parse_args(args, {"--sep"}, {}, a, error);
    else if (command == "serial" || command == "userdata" || command == "prop")
        ok = parse_args(args, {}, {}, a, error);
    else if (command == "change-pin")
        ok = parse_args(args, {"--label", PIN_OPTIONS("--old-pin"), PIN_OPTIONS("--new-pin")}, {}, a, error);
    else if (command == "select")
        ok = parse_args(args, {"--dn", "--field", "--value", "--key-sn"}, {"--all", "--pem"}, a, error);
    else if (command == "sign")
        ok = parse_args(args, {"--dn", "--field", "--value", "--key-sn", PIN_OPTIONS("--pin"), "--out", "--form"},
                        {"--all", "--detached"}, a, error);
    else if (command == "verify")
        ok = parse_args(args, {"--content", "--sm2-id", "--ca"}, {"--json"}, a, error);
    else {
        std::fprintf(stderr, "dsc-sign: unknown command %s\n%s", command.c_str(), general_usage());
        return kExitUsage;
    }
    if (!ok) return usage_error(command, error);

    if (command == "verify") return cmd_verify(a);
    if (!lib) return kExitFailed;  // every other command drives the library
    if (command == "devices") return cmd_devices(*lib, a);
    if (command == "serial") return device_text("serial", a, true, lib->Sgn_Dev_GetSerialNumber);
    if (command == "userdata") return device_text("userdata", a, false, lib->Sgn_Dev_GetUserData);
    if (command == "change-pin") return cmd_change_pin(*lib, a);
    if (command == "select") return cmd_select(*lib, a);
    if (command == "sign") return cmd_sign(*lib, a);
    return cmd_prop(*lib, a);
}

bool command_needs_library(const std::string& command) { return command != "verify"; }
