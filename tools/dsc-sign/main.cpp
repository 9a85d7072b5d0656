// dsc-sign: a command-line host of the dsc_jna_v3 library. It loads the
// library by name at run time and calls the eleven exports exactly as a Java
// host does through JNA, so what works here works there.
#include <cstdio>
#include <string>
#include <vector>

#include "commands.h"
#include "library.h"
#include "result_codes.h"
#include "usage.h"

namespace {

bool is_help(const std::string& a) { return a == "--help" || a == "-h"; }

// The library has no version export: what identifies it is the file that
// was loaded, beside the version of the project this program was built from.
int print_version()
{
    std::printf("dsc-sign %s\n", DSC_PROJECT_VERSION);
    DscLibrary lib{};
    std::string error;
    if (!dsc_library_load(lib, error)) {
        std::fprintf(stderr, "dsc-sign: %s\n", error.c_str());
        return kExitFailed;
    }
    std::string path = dsc_platform_module_path(lib.module);
    std::printf("library: %s (it exports no version of its own)\n", path.empty() ? "(path unknown)" : path.c_str());
    return kExitOk;
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);

    // `--log PATH` belongs to every command and may stand anywhere before `--`.
    const char* logPath = nullptr;
    std::string logValue;
    bool help = false;
    std::vector<std::string> rest;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--") {
            rest.insert(rest.end(), args.begin() + static_cast<long>(i), args.end());
            break;
        }
        if (args[i] == "--log") {
            if (i + 1 >= args.size()) {
                std::fprintf(stderr, "dsc-sign: --log needs a PATH\n");
                return kExitUsage;
            }
            logValue = args[++i];
            logPath = logValue.c_str();
        } else if (args[i].rfind("--log=", 0) == 0) {
            logValue = args[i].substr(6);
            logPath = logValue.c_str();
        } else if (is_help(args[i])) {
            help = true;
        } else if (args[i] == "--version" && rest.empty()) {
            return print_version();
        } else {
            rest.push_back(args[i]);
        }
    }

    if (!rest.empty() && rest[0] == "help") {
        help = true;
        rest.erase(rest.begin());
    }
    if (rest.empty()) {
        std::fputs(general_usage(), help ? stdout : stderr);
        return help ? kExitOk : kExitUsage;
    }
    const std::string command = rest[0];
    if (!is_command(command)) {
        std::fprintf(stderr, "dsc-sign: unknown command %s\n%s", command.c_str(), general_usage());
        return kExitUsage;
    }
    if (help) {
        std::fputs(command_usage(command), stdout);
        return kExitOk;
    }
    if (!command_needs_library(command))
        return run_command(nullptr, command, std::vector<std::string>(rest.begin() + 1, rest.end()));

    DscLibrary lib{};
    std::string error;
    if (!dsc_library_load(lib, error)) {
        std::fprintf(stderr, "dsc-sign: %s\n", error.c_str());
        return kExitFailed;
    }
    if (logPath) {
        int rc = lib.Sgn_SetLog(logPath);
        if (rc < 0) {
            const char* meaning = dsc_result_meaning(rc);
            std::fprintf(stderr, "dsc-sign: --log %s failed with %d: %s\n", logPath, rc, meaning ? meaning : "");
            return kExitFailed;
        }
    }
    for (const std::string& warning : dsc_platform_configuration_warnings())
        std::fprintf(stderr, "dsc-sign: warning: %s\n", warning.c_str());
    int status = run_command(&lib, command, std::vector<std::string>(rest.begin() + 1, rest.end()));
    if (logPath) lib.Sgn_CloseLog();
    return status;
}
