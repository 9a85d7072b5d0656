// Calls into token libraries that may not answer: one library never has two
// of our calls in it at once, and a call that misses its deadline leaves its
// library busy until it returns.
#pragma once

#include "tutil_skf_cus.h"

// One call into the library at `path`, with its arguments and results. A
// task that is abandoned is deleted by its own thread when it ends, so it
// owns copies of all it uses.
struct tutil_skf_task {
    char path[TUTIL_SKF_NAME] = {0};
    bool refused = false;  // not run: the library was busy
    bool marked = false;   // the library was marked busy for this task
    explicit tutil_skf_task(const char* libraryPath);
    virtual ~tutil_skf_task() = default;
    virtual void run() = 0;
};

// Runs the tasks one after another, each within `deadlineMs` (no bound
// when 0 or less: then on this thread). Afterwards each task either ran,
// or was refused unrun because its library is busy with an abandoned call
// (`refused`), or missed its deadline and was abandoned: then its slot is
// null, and the task is deleted when its call ends. Refusals and
// abandonments are traced with the library's path.
void tutil_skf_runBounded(tutil_skf_task** tasks, int count, int deadlineMs);

// Runs one task as tutil_skf_runBounded does: 0 when it ran (the caller
// still owns it), TUTIL_SKF_ERR_NO_ANSWER when it was refused (and deleted)
// or abandoned.
int tutil_skf_runOneBounded(tutil_skf_task* task, int deadlineMs);

// True while an abandoned call may still run in the library at `path`.
// The thread of a bounded call is never refused: it is the one calling.
bool tutil_skf_isBusy(const char* path);
