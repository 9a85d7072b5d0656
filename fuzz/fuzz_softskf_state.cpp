// The soft token's state file, as a test or a user may have edited it.
#include <cstddef>
#include <cstdint>
#include <string>

#include "state.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    auto state = softskf::parse_state(std::string(reinterpret_cast<const char*>(data), size));
    if (state) softskf::format_state(*state);
    return 0;
}
