// Command-line parsing for the subcommands: positional words, options that
// take a value (`--out P7` or `--out=P7`) and flags; `--` ends the options.
#pragma once

#include <initializer_list>
#include <map>
#include <set>
#include <string>
#include <vector>

struct ParsedArgs {
    std::vector<std::string> positional;
    std::map<std::string, std::string> values;
    std::set<std::string> flags;

    bool has(const std::string& name) const { return values.count(name) || flags.count(name); }
    const char* value(const std::string& name) const
    {
        auto it = values.find(name);
        return it == values.end() ? nullptr : it->second.c_str();
    }
};

bool parse_args(const std::vector<std::string>& args, std::initializer_list<const char*> valueOptions,
                std::initializer_list<const char*> flagOptions, ParsedArgs& out, std::string& error);
