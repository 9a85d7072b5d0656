// Running this test program again as a separate process, for state that
// must survive the process that changed it.
#pragma once

#include <string>
#include <vector>

// Runs this program with `args` and returns its exit code (-1 if it could
// not be started).
int run_self(const std::vector<std::string>& args);
