// Command-line options of softskf-tool: "--name value" pairs and bare flags.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

class Options {
public:
    // `flags` are the options that take no value. Returns false (with
    // error()) on an unknown form such as a missing value.
    bool parse(const std::vector<std::string>& args, const std::set<std::string>& flags);
    const std::string& error() const { return error_; }

    bool has(const std::string& name) const { return values_.count(name) > 0; }
    std::string get(const std::string& name, const std::string& fallback = {}) const;
    // Required option: records an error when missing.
    std::optional<std::string> need(const std::string& name);
    std::optional<unsigned long> number(const std::string& name, unsigned long fallback);
    // Options given that are not in `known`.
    std::vector<std::string> unknown(const std::set<std::string>& known) const;

private:
    std::map<std::string, std::string> values_;
    std::string error_;
};
