// Collects error-trace entries while a test runs.
#pragma once

#include <string>
#include <vector>

class TraceCapture {
public:
    TraceCapture();
    ~TraceCapture();
    // A copy: a late token call may still add to it.
    std::vector<std::string> entries() const;
    bool contains(const std::string& fragment) const;
};
