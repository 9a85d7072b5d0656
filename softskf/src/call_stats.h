// Per-function call counts and times of this copy of the module, read
// through softskf_callStats: they show callers which token calls their walks
// make and how much of their time the token takes.
#pragma once

#include <chrono>
#include <cstdint>

namespace softskf {

// Adds one call of `function` (a name that lives as long as the module).
void record_call(const char* function, std::uint64_t nanoseconds) noexcept;

// Times one export call from entry to return, whatever way it returns.
class CallTimer {
public:
    explicit CallTimer(const char* function) : function_(function), start_(std::chrono::steady_clock::now()) {}
    CallTimer(const CallTimer&) = delete;
    CallTimer& operator=(const CallTimer&) = delete;
    ~CallTimer()
    {
        auto elapsed = std::chrono::steady_clock::now() - start_;
        record_call(function_,
                    static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(elapsed).count()));
    }

private:
    const char* function_;
    std::chrono::steady_clock::time_point start_;
};

}  // namespace softskf
