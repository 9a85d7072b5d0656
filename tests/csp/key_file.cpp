#include "key_file.h"

#include <fstream>
#include <map>

#include "crypto.h"

KeyFileStatus readKeyFile(const std::string& path, softskf::KeyPair& key, bool& hasKey)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return KeyFileStatus::missing;
    std::map<std::string, std::string> fields;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        size_t eq = line.find('=');
        if (eq == std::string::npos || !fields.emplace(line.substr(0, eq), line.substr(eq + 1)).second)
            return KeyFileStatus::malformed;
    }
    if (fields["type"] != "sm2") return KeyFileStatus::malformed;
    auto x = softskf::from_hex(fields["x"]);
    auto y = softskf::from_hex(fields["y"]);
    // The public point is what Z is made of: it must be a point of the curve.
    if (!x || !y || !softskf::crypto::sm2_point_on_curve(*x, *y)) return KeyFileStatus::malformed;
    key = softskf::KeyPair{};
    key.type = softskf::KeyType::sm2;
    key.x = *x;
    key.y = *y;
    hasKey = fields.count("d") != 0;
    if (hasKey) {
        auto d = softskf::from_hex(fields["d"]);
        if (!d || d->empty() || d->size() > softskf::crypto::sm2_field_bytes) return KeyFileStatus::malformed;
        key.d = *d;
    }
    return KeyFileStatus::ok;
}
