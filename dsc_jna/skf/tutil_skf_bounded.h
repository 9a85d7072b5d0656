// Calls into a token library that may not answer: one library never has two
// of our calls in it at once, and a call that misses its deadline leaves its
// library busy until it returns.
#pragma once

#include "tcore_worker.h"
#include "tutil_skf_cus.h"

// One call into the library at `path`, with its arguments and results. A
// task that is abandoned is deleted by its own thread when it ends, so it
// owns copies of all it uses.
struct tutil_skf_task {
    char path[TUTIL_SKF_NAME] = {0};
    explicit tutil_skf_task(const char* libraryPath);
    virtual ~tutil_skf_task() = default;
    virtual void run() = 0;
};

// Runs task->run() on `worker` within `deadlineMs` (none when 0 or less:
// then on this thread). 0 when it ran in time: the caller still owns the
// task. TUTIL_SKF_ERR_NO_ANSWER when the library is still busy with an
// abandoned call (the task is deleted unrun) or this call missed its
// deadline (the task is deleted when the call ends); both are traced with
// the library's path.
int tutil_skf_runBounded(tcore_worker* worker, tutil_skf_task* task, int deadlineMs);

// True while an abandoned call may still run in the library at `path`.
// A worker's own thread is never refused: it is the one making the call.
bool tutil_skf_isBusy(const char* path);
