#include "tcore_worker.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include "tcore_sources.h"
#include "tcore_trace.h"
#include "tcore_wreg.h"

namespace {

thread_local bool onWorker = false;

// What a caller and its worker thread share. The caller frees it after
// joining the thread; an abandoned thread frees it itself.
struct Shared {
    std::mutex mutex;
    std::condition_variable changed;
    void (*run)(void*) = nullptr;
    void (*late)(void*) = nullptr;
    void* context = nullptr;
    bool pending = false;    // a call is waiting or running
    bool quit = false;       // the caller has no more calls
    bool abandoned = false;  // the caller stopped waiting for the running call
};

void serve(Shared* s)
{
    onWorker = true;
    std::unique_lock<std::mutex> lock(s->mutex);
    for (;;) {
        s->changed.wait(lock, [s] { return s->pending || s->quit; });
        if (!s->pending) return;
        void (*run)(void*) = s->run;
        void* context = s->context;
        lock.unlock();
        try {
            run(context);
        } catch (...) {
            // The caller's context keeps the failure it was given; an
            // exception cannot cross to the waiting thread.
            TCORE_TRACE(TSRC_TCORE_MISC_WIN, "a call on the worker thread ended by an exception");
        }
        lock.lock();
        s->pending = false;
        if (s->abandoned) {
            void (*late)(void*) = s->late;
            lock.unlock();
            late(context);
            delete s;
            return;
        }
        s->changed.notify_all();
    }
}

}  // namespace

struct tcore_worker {
    Shared* shared = nullptr;
    std::thread thread;
};

tcore_worker* tcore_worker_new() { return new (std::nothrow) tcore_worker; }

bool tcore_worker_run(tcore_worker* worker, void (*run)(void*), void (*late)(void*), void* context, int deadlineMs)
{
    if (deadlineMs <= 0 || worker == nullptr) {
        run(context);
        return true;
    }
    if (worker->shared == nullptr) {
        auto* shared = new Shared;
        try {
            worker->thread = std::thread(serve, shared);
        } catch (const std::system_error& e) {
            // No thread to wait on: the call is made here, without a bound,
            // rather than not at all.
            delete shared;
            TCORE_TRACE(TSRC_TCORE_MISC_WIN, "no worker thread (%s), the call runs without a deadline", e.what());
            run(context);
            return true;
        }
        worker->shared = shared;
    }
    Shared* s = worker->shared;
    std::unique_lock<std::mutex> lock(s->mutex);
    s->run = run;
    s->late = late;
    s->context = context;
    s->pending = true;
    s->changed.notify_all();
    if (s->changed.wait_for(lock, std::chrono::milliseconds(deadlineMs), [s] { return !s->pending; })) return true;
    s->abandoned = true;
    lock.unlock();
    worker->thread.detach();
    worker->shared = nullptr;
    tcore_pinThisModule();
    return false;
}

void tcore_worker_free(tcore_worker* worker)
{
    if (worker == nullptr) return;
    if (Shared* s = worker->shared) {
        {
            std::lock_guard<std::mutex> lock(s->mutex);
            s->quit = true;
            s->changed.notify_all();
        }
        worker->thread.join();
        delete s;
    }
    delete worker;
}

bool tcore_worker_onWorkerThread() { return onWorker; }
