#include "tcore_trace.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>

#include "tcore_mem.h"

namespace {

// Read by a late token call's thread too, while a call may change it.
std::atomic<tcore_traceSink> traceSink{nullptr};

constexpr int kTraceBuffer = 8192;

}  // namespace

void tcore_setTraceSink(tcore_traceSink sink) { traceSink.store(sink); }

tcore_traceSink tcore_getTraceSink() { return traceSink.load(); }

void tcore_trace(const char* file, int line, const char* format, ...)
{
    tcore_traceSink sink = traceSink.load();
    if (sink == nullptr) return;
    auto* text = static_cast<char*>(tcore_zalloc(kTraceBuffer));
    // Freed on every way out, an exception from the sink included.
    struct Owned {
        char* text;
        ~Owned() { tcore_free(text); }
    } owned{text};
    // One byte of the buffer always stays NUL, so at most 8190 characters.
    const int limit = kTraceBuffer - 1;
    int prefix = std::snprintf(text, limit, "(%s %d)", file != nullptr ? file : "", line);
    if (prefix < 0) prefix = 0;
    if (prefix > limit - 1) prefix = limit - 1;
    if (format != nullptr) {
        va_list args;
        va_start(args, format);
        std::vsnprintf(text + prefix, static_cast<size_t>(limit - prefix), format, args);
        va_end(args);
    }
    sink(text);
}
