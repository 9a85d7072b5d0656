// softskf-tool: provisions the soft SKF token. Exit status 0 on success, 1
// when the work failed, 2 for a wrong command line.
#include <cstring>
#include <iostream>
#include <set>
#include <string>
#include <vector>

#include "commands.h"
#include "tool_error.h"

namespace {

struct Command {
    const char* name;
    int (*run)(Options&);
    std::set<std::string> flags;
    std::set<std::string> options;
    const char* help;
};

const char common_help[] = "  --module PATH      the token library (libsoftskf.so or a copy); its state is PATH.json.\n"
                           "                     Default: $SOFTSKF_MODULE\n";

const Command commands_table[] = {
    {"init",
     commands::init,
     {"force"},
     {"module"},
     "init [--force]\n  Creates an empty token state (no devices).\n"
     "  --force            replace an existing state\n"},
    {"add-device",
     commands::add_device,
     {"absent"},
     {"module", "name", "label", "serial", "user-data", "manufacturer", "issuer"},
     "add-device --name NAME [--label L] [--serial S] [--user-data TEXT] [--manufacturer M] [--issuer I] [--absent]\n"
     "  Adds a device. Label and serial number hold 32 bytes, the others 63; the user data\n"
     "  is the text a caller reads from DEVINFO.Reserved. --absent: listed only when the\n"
     "  caller asks for all devices, and connecting fails.\n"},
    {"add-app",
     commands::add_app,
     {},
     {"module", "device", "name", "admin-pin", "user-pin", "admin-retries", "user-retries"},
     "add-app --device DEV --name APP [--user-pin P] [--admin-pin P] [--user-retries N] [--admin-retries N]\n"
     "  Creates an application with SKF_CreateApplication. PINs have 6 to 16 characters\n"
     "  (defaults: user 12345678, admin 88888888); retries 1 to 15 (default 10).\n"},
    {"add-container",
     commands::add_container,
     {"no-cert"},
     {"module", "device", "app", "container", "key", "bits", "user-pin", "subject", "days", "ca-dir", "cert-out"},
     "add-container --device DEV --app APP --container NAME [--key sm2|rsa] [--bits 1024|2048]\n"
     "              [--user-pin P] [--subject /CN=.../O=...] [--days N] [--ca-dir DIR] [--cert-out FILE] [--no-cert]\n"
     "  Creates a container, generates its key pair on the token and imports a signing\n"
     "  certificate issued by the test CA in DIR (default PATH.ca; created on first use;\n"
     "  SM2 certificates are signed with SM2-with-SM3, RSA ones with SHA-256).\n"
     "  --cert-out writes the certificate as PEM.\n"},
    {"import",
     commands::import,
     {"encryption"},
     {"module", "device", "app", "container", "key", "cert"},
     "import --device DEV --app APP --container NAME [--key KEY.pem] [--cert CERT.pem] [--encryption]\n"
     "  Puts an existing SM2 or RSA private key and/or certificate (PEM) into a container\n"
     "  (created if missing); --encryption fills the encryption slot instead of the signing one.\n"},
    {"provision",
     commands::provision,
     {"no-cert", "absent"},
     {"module", "device", "app", "container", "key", "bits", "user-pin", "admin-pin", "user-retries", "admin-retries",
      "subject", "days", "ca-dir", "cert-out", "label", "serial", "user-data", "manufacturer", "issuer"},
     "provision --device DEV --app APP --container NAME [options of add-device, add-app, add-container]\n"
     "  One step: creates the state, the device and the application when missing, then the\n"
     "  container with its key and certificate.\n"},
    {"list",
     commands::list,
     {},
     {"module"},
     "list\n  Shows devices, applications, PIN tries, containers, certificates and faults.\n"},
    {"sign",
     commands::sign,
     {},
     {"module", "device", "app", "container", "user-pin", "in", "out", "hash"},
     "sign --device DEV --app APP --container NAME --in FILE --out SIG [--user-pin P] [--hash sha1|sha256]\n"
     "  Signs FILE on the token. SM2: SM3 with Z (identity 1234567812345678), DER signature.\n"
     "  RSA: PKCS#1 v1.5 over SHA-1 (default) or SHA-256, raw signature.\n"},
    {"export-cert",
     commands::export_cert,
     {"encryption", "der"},
     {"module", "device", "app", "container", "out"},
     "export-cert --device DEV --app APP --container NAME --out FILE [--der] [--encryption]\n"
     "  Writes a container's certificate (PEM unless --der).\n"},
    {"fault-add",
     commands::fault_add,
     {},
     {"module", "call", "kind", "code", "length", "extra", "device", "app", "container"},
     "fault-add --call SKF_NAME [--kind KIND] [--code 0x0A000001] [--length N] [--extra N]\n"
     "          [--device DEV] [--app APP] [--container NAME]\n"
     "  Makes a call misbehave, for every object or only the ones named. Kinds:\n"
     "    fail                     return --code and do nothing (default)\n"
     "    list_without_final_nul   name lists lack their last NUL (Enum* calls)\n"
     "    size_over_buffer         fill the caller's buffer, report --extra bytes more (default 16)\n"
     "    length                   claim --length bytes, padded with zeros (certificates, signatures)\n"
     "    unterminated_text        DEVINFO texts without their NULs (SKF_GetDevInfo)\n"
     "    size_only_in_error       refuse a size query without a buffer with --code; a too-small\n"
     "                             buffer still gets the size needed\n"},
    {"fault-clear", commands::fault_clear, {}, {"module"}, "fault-clear\n  Removes every injected fault.\n"},
};

void usage(std::ostream& out)
{
    out << "usage: softskf-tool COMMAND [options]   (softskf-tool COMMAND --help for details)\n\ncommands:\n";
    for (const Command& c : commands_table) out << "  " << c.name << "\n";
    out << "\ncommon option:\n" << common_help;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "help") == 0) {
        usage(argc < 2 ? std::cerr : std::cout);
        return argc < 2 ? 2 : 0;
    }
    const Command* command = nullptr;
    for (const Command& c : commands_table)
        if (std::strcmp(argv[1], c.name) == 0) command = &c;
    if (!command) {
        std::cerr << "softskf-tool: unknown command " << argv[1] << "\n";
        usage(std::cerr);
        return 2;
    }
    std::vector<std::string> args(argv + 2, argv + argc);
    for (const std::string& a : args) {
        if (a == "--help" || a == "-h") {
            std::cout << "usage: softskf-tool " << command->help << common_help;
            return 0;
        }
    }
    std::set<std::string> flags = command->flags;
    Options options;
    if (!options.parse(args, flags)) {
        std::cerr << "softskf-tool " << command->name << ": " << options.error() << "\n";
        return 2;
    }
    std::set<std::string> known = command->options;
    known.insert(flags.begin(), flags.end());
    auto unknown = options.unknown(known);
    if (!unknown.empty()) {
        std::cerr << "softskf-tool " << command->name << ": unknown option --" << unknown.front() << "\n";
        return 2;
    }
    try {
        return command->run(options);
    } catch (const UsageError& e) {
        std::cerr << "softskf-tool " << command->name << ": " << e.what() << "\n";
        return 2;
    } catch (const std::exception& e) {
        std::cerr << "softskf-tool " << command->name << ": " << e.what() << "\n";
        return 1;
    }
}
