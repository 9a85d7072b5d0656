#include "tcore_worker.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "tcore_sources.h"
#include "tcore_trace.h"
#include "tcore_wreg.h"

namespace {

using Clock = std::chrono::steady_clock;

thread_local bool onStepThread = false;

// What a caller and its thread share. The caller frees it after joining the
// thread; an abandoned thread frees it itself.
struct Shared {
    std::mutex mutex;
    std::condition_variable done;
    std::vector<void*> steps;
    void (*run)(void*) = nullptr;
    void (*late)(void*) = nullptr;
    int current = 0;            // the step running; steps.size() when all are done
    Clock::time_point started;  // when the current step started
    int abandoned = -1;         // the step the caller gave up on
};

void runOne(void (*run)(void*), void* step)
{
    try {
        run(step);
    } catch (...) {
        // The step keeps the failure it started with; an exception cannot
        // cross to the waiting thread.
        TCORE_TRACE(TSRC_TCORE_MISC_WIN, "a step on the worker thread ended by an exception");
    }
}

void serve(Shared* s)
{
    onStepThread = true;
    const int count = static_cast<int>(s->steps.size());
    for (int i = 0; i < count; ++i) {
        {
            std::lock_guard<std::mutex> lock(s->mutex);
            s->current = i;
            s->started = Clock::now();
        }
        runOne(s->run, s->steps[static_cast<size_t>(i)]);
        std::unique_lock<std::mutex> lock(s->mutex);
        if (s->abandoned == i) {
            lock.unlock();
            s->late(s->steps[static_cast<size_t>(i)]);
            delete s;
            return;
        }
    }
    std::lock_guard<std::mutex> lock(s->mutex);
    s->current = count;
    s->done.notify_all();
}

}  // namespace

int tcore_runSteps(void* const* steps, int count, void (*run)(void*), void (*late)(void*), int deadlineMs)
{
    if (count <= 0) return 0;
    auto inline_ = [&] {
        for (int i = 0; i < count; ++i) runOne(run, steps[i]);
        return count;
    };
    if (deadlineMs <= 0) return inline_();
    auto* s = new Shared;
    s->steps.assign(steps, steps + count);
    s->run = run;
    s->late = late;
    s->started = Clock::now();
    std::thread thread;
    try {
        thread = std::thread(serve, s);
    } catch (const std::system_error& e) {
        // No thread to wait on: the steps run here, without a bound, rather
        // than not at all.
        delete s;
        TCORE_TRACE(TSRC_TCORE_MISC_WIN, "no worker thread (%s), the calls run without a deadline", e.what());
        return inline_();
    }
    const auto allowed = std::chrono::milliseconds(deadlineMs);
    std::unique_lock<std::mutex> lock(s->mutex);
    while (s->current < count) {
        // The thread moves on without waking this one; only the end of the
        // last step or the deadline of the step running does.
        const int step = s->current;
        if (s->done.wait_until(lock, s->started + allowed, [&] { return s->current != step; })) continue;
        s->abandoned = step;
        lock.unlock();
        thread.detach();
        tcore_pinThisModule();
        return step;
    }
    lock.unlock();
    thread.join();
    delete s;
    return count;
}

bool tcore_onStepThread() { return onStepThread; }
