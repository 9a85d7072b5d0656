// Certificates as callers pass them: DER, bare base64, PEM, text without a
// terminating NUL.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "tasn1_cert.h"
#include "tcore_mem.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<char> text(data, data + size);  // no NUL behind it
    unsigned char* der = nullptr;
    if (tasn1_cert_toDer(text.data(), static_cast<int>(text.size()), &der) >= 0) tcore_free(der);
    return 0;
}
