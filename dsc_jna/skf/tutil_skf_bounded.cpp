// <windows.h> before the SKF header, which defines TRUE and FALSE only if
// it has not.
#include <windows.h>

#include "tutil_skf_bounded.h"

#include <cstring>

#include "tcore_sources.h"
#include "tcore_trace.h"

namespace {

// The libraries a call is bounded in, or was abandoned in: a short list,
// one entry per library with a call out. Constant-initialised, so it needs
// nothing at load and leaves nothing at unload.
constexpr int kMaxBusy = 64;

class BusyLibraries {
public:
    // False when the library is already busy (or, past any real number of
    // libraries, the list is full).
    bool mark(const char* path)
    {
        Hold hold(&lock);
        Entry* free = nullptr;
        for (Entry& e : entries) {
            if (e.used && std::strcmp(e.path, path) == 0) return false;
            if (!e.used && free == nullptr) free = &e;
        }
        if (free == nullptr) return false;
        free->used = true;
        std::memcpy(free->path, path, sizeof free->path);
        return true;
    }
    void clear(const char* path)
    {
        Hold hold(&lock);
        for (Entry& e : entries)
            if (e.used && std::strcmp(e.path, path) == 0) e.used = false;
    }
    bool contains(const char* path)
    {
        Hold hold(&lock);
        for (const Entry& e : entries)
            if (e.used && std::strcmp(e.path, path) == 0) return true;
        return false;
    }

private:
    struct Entry {
        bool used;
        char path[TUTIL_SKF_NAME];
    };
    // A slim lock: constant-initialised and trivially destroyed on every
    // platform, so the list is usable from the first call to the last.
    struct Hold {
        explicit Hold(SRWLOCK* l) : held(l) { AcquireSRWLockExclusive(held); }
        ~Hold() { ReleaseSRWLockExclusive(held); }
        SRWLOCK* held;
    };
    SRWLOCK lock = SRWLOCK_INIT;
    Entry entries[kMaxBusy] = {};
};

constinit BusyLibraries busy;

void runTask(void* task) { static_cast<tutil_skf_task*>(task)->run(); }

// The answer of an abandoned call: discarded, and only then is its library
// free for the next call.
void discardLate(void* context)
{
    auto* task = static_cast<tutil_skf_task*>(context);
    char path[TUTIL_SKF_NAME];
    std::memcpy(path, task->path, sizeof path);
    delete task;
    busy.clear(path);
    TCORE_TRACE(TSRC_SKF, "the late answer of %s was discarded; the library takes calls again", path);
}

int refuseBusy(tutil_skf_task* task)
{
    TCORE_TRACE(TSRC_SKF, "%s is still busy with a call that did not answer, refused %d", task->path,
                TUTIL_SKF_ERR_NO_ANSWER);
    delete task;
    return TUTIL_SKF_ERR_NO_ANSWER;
}

}  // namespace

tutil_skf_task::tutil_skf_task(const char* libraryPath)
{
    if (libraryPath != nullptr) std::strncpy(path, libraryPath, TUTIL_SKF_NAME - 1);
}

bool tutil_skf_isBusy(const char* path)
{
    return path != nullptr && !tcore_worker_onWorkerThread() && busy.contains(path);
}

int tutil_skf_runBounded(tcore_worker* worker, tutil_skf_task* task, int deadlineMs)
{
    if (deadlineMs <= 0) {
        if (busy.contains(task->path)) return refuseBusy(task);
        task->run();
        return 0;
    }
    if (!busy.mark(task->path)) return refuseBusy(task);
    // Copied first: once abandoned, the task is no longer ours to read.
    char path[TUTIL_SKF_NAME];
    std::memcpy(path, task->path, sizeof path);
    // A single call gets a worker of its own.
    tcore_worker* own = worker == nullptr ? tcore_worker_new() : nullptr;
    bool answered = tcore_worker_run(worker != nullptr ? worker : own, runTask, discardLate, task, deadlineMs);
    tcore_worker_free(own);
    if (!answered) {
        TCORE_TRACE(TSRC_SKF, "%s did not answer within %d ms; its call is abandoned, refused %d", path, deadlineMs,
                    TUTIL_SKF_ERR_NO_ANSWER);
        return TUTIL_SKF_ERR_NO_ANSWER;
    }
    busy.clear(path);
    return 0;
}
