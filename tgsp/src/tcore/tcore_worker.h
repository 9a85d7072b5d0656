// A thread to make calls on that may never return, so the caller can stop
// waiting for them. Steps run one after another on one thread, each with
// its own deadline; the caller wakes only when the last step is done or a
// step overstays, not at every step.
#pragma once

// Runs run(steps[i]) for i = 0, 1, ... on a new thread and waits at most
// `deadlineMs` milliseconds for each step, counted from the step's start.
// Returns how many steps returned in time: all of them (`count`), or the
// index of the step that overstayed. That step is abandoned: when it
// returns at last, late(step) runs on its thread, which then ends without
// running the steps after it (they are still the caller's, as are the steps
// that returned). From then on the module stays loaded until the process
// ends, since that thread still runs its code. With no deadline (0 or less)
// every step runs on this thread.
int tcore_runSteps(void* const* steps, int count, void (*run)(void* step), void (*late)(void* step), int deadlineMs);

// True on a thread of tcore_runSteps: what it calls, it calls for the
// caller that waits for it (or waited, for an abandoned step).
bool tcore_onStepThread();
