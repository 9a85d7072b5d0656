// The help texts of dsc-sign and of each subcommand.
#pragma once

#include <string>

const char* general_usage();

// The help of one subcommand, or null for an unknown name.
const char* command_usage(const std::string& command);
