// .reg files as installers and editors leave them, in any encoding.
#include <cstddef>
#include <cstdint>
#include <string>

#include "posix_regfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    posix_regkey top;
    posix_regfile_merge(top, std::string(reinterpret_cast<const char*>(data), size));
    return 0;
}
