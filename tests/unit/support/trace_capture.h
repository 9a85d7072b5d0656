// Collects error-trace entries while a test runs.
#pragma once

#include <string>
#include <vector>

class TraceCapture {
public:
    TraceCapture();
    ~TraceCapture();
    const std::vector<std::string>& entries() const;
    bool contains(const std::string& fragment) const;
};
