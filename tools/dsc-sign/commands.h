// The subcommands of dsc-sign, each a thin driver of one or two exports.
#pragma once

#include <string>
#include <vector>

#include "library.h"

enum ExitStatus { kExitOk = 0, kExitFailed = 1, kExitUsage = 2 };

// Runs `command` with its own arguments (the global options already taken
// out). Unknown commands and bad arguments give kExitUsage. `lib` is null
// for a command that does not need the library.
int run_command(const DscLibrary* lib, const std::string& command, const std::vector<std::string>& args);

// False for the commands that work without the library (`verify`).
bool command_needs_library(const std::string& command);

// True when `command` names a subcommand.
bool is_command(const std::string& command);
