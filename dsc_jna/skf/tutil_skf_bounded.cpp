// <windows.h> before the SKF header, which defines TRUE and FALSE only if
// it has not.
#include <windows.h>

#include "tutil_skf_bounded.h"

#include <array>
#include <cstring>
#include <vector>

#include "tcore_sources.h"
#include "tcore_trace.h"
#include "tcore_worker.h"

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

// A step on the worker thread: the library is marked busy for the call, so
// that, should it be abandoned, no other call goes in until it returns.
void runStep(void* step)
{
    auto* task = static_cast<tutil_skf_task*>(step);
    if (!busy.mark(task->path)) {
        task->refused = true;
        return;
    }
    task->marked = true;
    task->run();
}

// The answer of an abandoned call: discarded, and only then is its library
// free for the next call.
void discardLate(void* step)
{
    auto* task = static_cast<tutil_skf_task*>(step);
    char path[TUTIL_SKF_NAME];
    std::memcpy(path, task->path, sizeof path);
    bool marked = task->marked;
    delete task;
    if (marked) busy.clear(path);
    TCORE_TRACE(TSRC_SKF, "the late answer of %s was discarded; the library takes calls again", path);
}

void traceRefused(const char* path)
{
    TCORE_TRACE(TSRC_SKF, "%s is still busy with a call that did not answer, refused %d", path,
                TUTIL_SKF_ERR_NO_ANSWER);
}

}  // namespace

tutil_skf_task::tutil_skf_task(const char* libraryPath)
{
    if (libraryPath != nullptr) std::strncpy(path, libraryPath, TUTIL_SKF_NAME - 1);
}

bool tutil_skf_isBusy(const char* path) { return path != nullptr && !tcore_onStepThread() && busy.contains(path); }

void tutil_skf_runBounded(tutil_skf_task** tasks, int count, int deadlineMs)
{
    if (deadlineMs <= 0) {
        for (int i = 0; i < count; ++i) {
            if (busy.contains(tasks[i]->path)) {
                tasks[i]->refused = true;
                traceRefused(tasks[i]->path);
            } else {
                tasks[i]->run();
            }
        }
        return;
    }
    // Copied first: once abandoned, a task is no longer ours to read.
    std::vector<std::array<char, TUTIL_SKF_NAME>> paths(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) std::memcpy(paths[static_cast<size_t>(i)].data(), tasks[i]->path, TUTIL_SKF_NAME);
    int start = 0;
    while (start < count) {
        int answered = tcore_runSteps(reinterpret_cast<void* const*>(tasks + start), count - start, runStep,
                                      discardLate, deadlineMs);
        for (int i = start; i < start + answered; ++i) {
            if (tasks[i]->marked) busy.clear(tasks[i]->path);
            if (tasks[i]->refused) traceRefused(tasks[i]->path);
        }
        start += answered;
        if (start == count) break;
        // The rest go on on a thread of their own.
        TCORE_TRACE(TSRC_SKF, "%s did not answer within %d ms; its call is abandoned, refused %d",
                    paths[static_cast<size_t>(start)].data(), deadlineMs, TUTIL_SKF_ERR_NO_ANSWER);
        tasks[start] = nullptr;
        ++start;
    }
}

int tutil_skf_runOneBounded(tutil_skf_task* task, int deadlineMs)
{
    tutil_skf_runBounded(&task, 1, deadlineMs);
    if (task == nullptr) return TUTIL_SKF_ERR_NO_ANSWER;
    if (!task->refused) return 0;
    delete task;
    return TUTIL_SKF_ERR_NO_ANSWER;
}
