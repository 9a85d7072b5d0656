// Sizes the token accepts for names, PINs and objects.
#pragma once

#include <cstddef>

namespace softskf::limits {

constexpr std::size_t device_name = 128;
constexpr std::size_t application_name = 48;
constexpr std::size_t container_name = 64;
constexpr std::size_t label = 31;  // DEVINFO.Label holds 32 bytes with the NUL
constexpr std::size_t pin_min = 6;
constexpr std::size_t pin_max = 16;
constexpr std::size_t pin_verify_max = 64;  // longer "PINs" are refused without counting
constexpr unsigned retries_max = 15;
constexpr std::size_t certificate_max = 16384;

}  // namespace softskf::limits
