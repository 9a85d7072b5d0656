// .reg files as installers and editors leave them, in any encoding.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "posix_regfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    posix_regkey top;
    std::vector<posix_regrefusal> refusals;
    posix_regfile_merge(top, std::string(reinterpret_cast<const char*>(data), size), refusals);
    return 0;
}
