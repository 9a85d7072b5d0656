#include "trace_capture.h"

#include "tcore_trace.h"

namespace {
std::vector<std::string> captured;
void collect(const char* text) { captured.emplace_back(text); }
}  // namespace

TraceCapture::TraceCapture()
{
    captured.clear();
    tcore_setTraceSink(collect);
}

TraceCapture::~TraceCapture() { tcore_setTraceSink(nullptr); }

const std::vector<std::string>& TraceCapture::entries() const { return captured; }

bool TraceCapture::contains(const std::string& fragment) const
{
    for (const auto& e : captured)
        if (e.find(fragment) != std::string::npos) return true;
    return false;
}
