// Base64 text of any shape: the size query, then decoding into exactly the
// announced size.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tcore_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string text(reinterpret_cast<const char*>(data), size);
    const int len = static_cast<int>(text.size());
    if (len == 0) return 0;
    int needed = tcore_base64_decode(nullptr, text.c_str(), len, 0);
    if (needed <= 0) return 0;
    std::vector<unsigned char> out(static_cast<size_t>(needed));
    tcore_base64_decode(out.data(), text.c_str(), len, needed);
    return 0;
}
