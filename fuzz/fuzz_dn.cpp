// DN texts: the walk that splits them, field lookup and comparison in any
// order.
#include <cstddef>
#include <cstdint>
#include <string>

#include "tcore_list.h"
#include "twcyt_dn.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string text(reinterpret_cast<const char*>(data), size);
    std::string dn = text.c_str();  // up to the first NUL, as callers give it
    tcore_list* segments = nullptr;
    twcyt_dn_split(dn.c_str(), &segments);
    tcore_list_free(segments);
    for (const char* field : {"CN", "O", "OU", "E"}) {
        tcore_list* values = nullptr;
        twcyt_dn_getRdnValues(dn.c_str(), field, &values);
        tcore_list_free(values);
    }
    std::string other = dn.substr(dn.size() / 2) + ", " + dn.substr(0, dn.size() / 2);
    twcyt_dn_compareUtf8(dn.c_str(), other.c_str());
    twcyt_dn_compareUtf8(dn.c_str(), dn.c_str());
    return 0;
}
