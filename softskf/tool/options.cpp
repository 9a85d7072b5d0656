#include "options.h"

bool Options::parse(const std::vector<std::string>& args, const std::set<std::string>& flags)
{
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.rfind("--", 0) != 0 || arg.size() < 3) {
            error_ = "unexpected argument: " + arg;
            return false;
        }
        std::string name = arg.substr(2);
        auto eq = name.find('=');
        if (eq != std::string::npos) {
            values_[name.substr(0, eq)] = name.substr(eq + 1);
        } else if (flags.count(name)) {
            values_[name] = "1";
        } else if (i + 1 < args.size()) {
            values_[name] = args[++i];
        } else {
            // Appended piecewise: GCC 12 misreads `"..." + name + "..."` here (-Wrestrict).
            error_.assign("option --").append(name).append(" needs a value");
            return false;
        }
    }
    return true;
}

std::string Options::get(const std::string& name, const std::string& fallback) const
{
    auto it = values_.find(name);
    return it == values_.end() ? fallback : it->second;
}

std::optional<std::string> Options::need(const std::string& name)
{
    auto it = values_.find(name);
    if (it != values_.end() && !it->second.empty()) return it->second;
    if (error_.empty()) error_ = "missing --" + name;
    return std::nullopt;
}

std::optional<unsigned long> Options::number(const std::string& name, unsigned long fallback)
{
    auto it = values_.find(name);
    if (it == values_.end()) return fallback;
    try {
        std::size_t used = 0;
        unsigned long value = std::stoul(it->second, &used, 0);
        if (used == it->second.size()) return value;
    } catch (const std::exception&) {
    }
    if (error_.empty()) error_ = "--" + name + " is not a number: " + it->second;
    return std::nullopt;
}

std::vector<std::string> Options::unknown(const std::set<std::string>& known) const
{
    std::vector<std::string> names;
    for (const auto& [name, value] : values_)
        if (!known.count(name)) names.push_back(name);
    return names;
}
