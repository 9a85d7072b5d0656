#include "tcore_trace.h"

#include <windows.h>

#include <cstdio>

namespace {

constexpr int kSysTraceBuffer = 2048;

}  // namespace

void tcore_traceSysError(const char* file, int line, const char* what)
{
    tcore_traceSink sink = tcore_getTraceSink();
    if (sink == nullptr) return;
    // Read first: formatting must not disturb the code being reported.
    auto code = static_cast<int>(GetLastError());
    char text[kSysTraceBuffer] = {0};
    std::snprintf(text, kSysTraceBuffer - 1, "(%s %d) %d, %s", file != nullptr ? file : "", line, code,
                  what != nullptr ? what : "");
    sink(text);
}
