#include "trace_capture.h"

#include <mutex>

#include "tcore_trace.h"

namespace {
// The late answer of an abandoned token call traces from its own thread.
std::mutex lock;
std::vector<std::string> captured;
void collect(const char* text)
{
    std::lock_guard<std::mutex> hold(lock);
    captured.emplace_back(text);
}
}  // namespace

TraceCapture::TraceCapture()
{
    {
        std::lock_guard<std::mutex> hold(lock);
        captured.clear();
    }
    tcore_setTraceSink(collect);
}

TraceCapture::~TraceCapture() { tcore_setTraceSink(nullptr); }

std::vector<std::string> TraceCapture::entries() const
{
    std::lock_guard<std::mutex> hold(lock);
    return captured;
}

bool TraceCapture::contains(const std::string& fragment) const
{
    std::lock_guard<std::mutex> hold(lock);
    for (const auto& e : captured)
        if (e.find(fragment) != std::string::npos) return true;
    return false;
}
