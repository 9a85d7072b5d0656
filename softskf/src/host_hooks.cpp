#include "host_hooks.h"

#include <atomic>
#include <condition_variable>
#include <mutex>

#include "softskf_hooks.h"

namespace softskf {

namespace {

std::atomic<softskf_hostCallback> host_callback{nullptr};

struct Gate {
    std::mutex mutex;
    std::condition_variable opened;
    bool released = false;
    SKF_ULONG waiting = 0;
};

Gate& gate()
{
    static Gate* instance = new Gate;  // never destroyed: a blocked call may outlive static destruction
    return *instance;
}

}  // namespace

void call_host(const char* function)
{
    if (softskf_hostCallback callback = host_callback.load()) callback(function);
}

void block_until_released()
{
    Gate& g = gate();
    std::unique_lock<std::mutex> lock(g.mutex);
    ++g.waiting;
    g.opened.wait(lock, [&] { return g.released; });
    --g.waiting;
}

}  // namespace softskf

using namespace softskf;

extern "C" {

void DEVAPI softskf_setHostCallback(softskf_hostCallback callback) { host_callback.store(callback); }

SKF_ULONG DEVAPI softskf_releaseBlocked(void)
{
    Gate& g = gate();
    std::lock_guard<std::mutex> lock(g.mutex);
    g.released = true;
    g.opened.notify_all();
    return g.waiting;
}

SKF_ULONG DEVAPI softskf_blockedCalls(void)
{
    Gate& g = gate();
    std::lock_guard<std::mutex> lock(g.mutex);
    return g.waiting;
}

}  // extern "C"
