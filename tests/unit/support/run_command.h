// Runs a program found on PATH with arguments (no shell) and waits for it.
#pragma once

#include <string>
#include <vector>

// True when `program` is an executable file in one of the PATH directories.
bool command_exists(const std::string& program);

// The program's exit status (-1 when it could not start or did not exit
// normally); its standard output goes to `output` when that is not null.
int command_run(const std::vector<std::string>& argv, std::string* output = nullptr);
