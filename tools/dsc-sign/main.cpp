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
    int status = run_command(lib, command, std::vector<std::string>(rest.begin() + 1, rest.end()));
    if (logPath) lib.Sgn_CloseLog();
    return status;
}
