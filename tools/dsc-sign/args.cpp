#include "args.h"

namespace {

bool listed(std::initializer_list<const char*> names, const std::string& name)
{
    for (const char* n : names)
        if (name == n) return true;
    return false;
}

}  // namespace

bool parse_args(const std::vector<std::string>& args, std::initializer_list<const char*> valueOptions,
                std::initializer_list<const char*> flagOptions, ParsedArgs& out, std::string& error)
{
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (optionsEnded || a.size() < 2 || a[0] != '-' || a == "-") {
            out.positional.push_back(a);
            continue;
        }
        if (a == "--") {
            optionsEnded = true;
            continue;
        }
        std::string name = a, inlineValue;
        size_t eq = a.find('=');
        bool hasInline = eq != std::string::npos;
        if (hasInline) {
            name = a.substr(0, eq);
            inlineValue = a.substr(eq + 1);
        }
        if (listed(valueOptions, name)) {
            if (hasInline) {
                out.values[name] = inlineValue;
            } else if (i + 1 < args.size()) {
                out.values[name] = args[++i];
            } else {
                error = name + " needs a value";
                return false;
            }
        } else if (listed(flagOptions, name) && !hasInline) {
            out.flags.insert(name);
        } else {
            error = "unknown option " + a;
            return false;
        }
    }
    return true;
}
