// A thread to make calls on that may never return, so the caller can stop
// waiting for them. A worker runs one call at a time; while it answers in
// time, its thread serves the next call as well, so a run of calls costs
// one thread. A call that misses its deadline is abandoned: its thread is
// left to finish on its own, and the next call gets a new thread.
#pragma once

struct tcore_worker;

tcore_worker* tcore_worker_new();

// Runs run(context) on the worker's thread and waits at most `deadlineMs`
// milliseconds; with no deadline (0 or less) it runs on this thread. True
// when run returned in time; the caller then still owns `context`. False
// when the call is abandoned: `context` belongs to the call from then on,
// and when run returns at last, late(context) runs on the abandoned thread
// to discard what it made and free the context. From then on the module
// stays loaded until the process ends, since that thread still runs its
// code.
bool tcore_worker_run(tcore_worker* worker, void (*run)(void* context), void (*late)(void* context), void* context,
                      int deadlineMs);

// Ends the worker's idle thread, waiting for it, and frees the worker.
void tcore_worker_free(tcore_worker* worker);

// True on a worker's thread: what the thread calls, it calls for the
// caller that waits for it (or waited, for an abandoned call).
bool tcore_worker_onWorkerThread();
