#include "fixtures.h"

#include <gtest/gtest.h>

#include "tcore_codec.h"

std::string fixture(const std::string& name)
{
    auto it = fixtureTable().find(name);
    if (it == fixtureTable().end()) {
        ADD_FAILURE() << "no fixture " << name;
        return std::string();
    }
    return it->second;
}

std::vector<std::string> fixturesIn(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& [name, bytes] : fixtureTable())
        if (name.compare(0, folder.size(), folder) == 0) names.push_back(name);
    return names;
}

std::string unhex(const std::string& digits)
{
    std::string out;
    int pending = -1;
    for (char c : digits) {
        int v = (c >= '0' && c <= '9')   ? c - '0'
                : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                                         : -1;
        if (v < 0) continue;
        if (pending < 0) {
            pending = v;
        } else {
            out.push_back(static_cast<char>(pending * 16 + v));
            pending = -1;
        }
    }
    return out;
}

std::string hexOf(const std::string& bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) {
        out.push_back(digits[c >> 4]);
        out.push_back(digits[c & 15]);
    }
    return out;
}

std::string base64Of(const std::string& der)
{
    std::string text((der.size() + 2) / 3 * 4 + 1, '\0');
    int n = tcore_base64_encode(text.data(), bytesOf(der), lengthOf(der), lengthOf(text));
    text.resize(n > 0 ? n : 0);
    return text;
}
