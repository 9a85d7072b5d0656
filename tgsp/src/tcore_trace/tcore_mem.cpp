#include "tcore_mem.h"

#include <cstdlib>
#include <cstring>

#include "tcore_errors.h"

void tcore_exitNoMemory() { std::exit(TCORE_EXIT_NO_MEMORY); }

void* tcore_zalloc(size_t size)
{
    // calloc of zero bytes may legally return null; one byte keeps the
    // "never null" promise.
    void* p = std::calloc(1, size == 0 ? 1 : size);
    if (p == nullptr) tcore_exitNoMemory();
    return p;
}

void tcore_free(void* p) { std::free(p); }

char* tcore_strdup(const char* text)
{
    size_t n = std::strlen(text);
    auto* copy = static_cast<char*>(tcore_zalloc(n + 1));
    std::memcpy(copy, text, n);
    return copy;
}
