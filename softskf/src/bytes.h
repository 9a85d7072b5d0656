// Byte strings and their hex text form, the encoding of key material and
// certificates in the token state file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace softskf {

using Bytes = std::vector<std::uint8_t>;

std::string to_hex(const Bytes& data);
// Upper- or lower-case hex, even length; nullopt on anything else.
std::optional<Bytes> from_hex(std::string_view text);

}  // namespace softskf
