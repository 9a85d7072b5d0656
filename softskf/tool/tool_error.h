// What a softskf-tool command reports when it cannot do its job.
#pragma once

#include <stdexcept>

struct ToolError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The command line itself is wrong (exit status 2 rather than 1).
struct UsageError : ToolError {
    using ToolError::ToolError;
};
