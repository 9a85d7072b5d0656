#include "dsc_jna_entry.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <exception>

#include "tcore_errors.h"
#include "tcore_mem.h"
#include "tcore_sources.h"
#include "tcore_trace.h"
#include "tcore_worker.h"

namespace {

// Constant-initialised: it exists before any code of the library runs and
// needs no clean-up, however often the library is loaded and unloaded.
SRWLOCK exportLock = SRWLOCK_INIT;

// The thread holding the lock, 0 when none does (no thread has id 0). Only
// the holder writes it; another thread may read a stale value, but never
// its own id.
std::atomic<DWORD> holder{0};

// A code in decimal and its NUL, with room to spare.
constexpr int kCodeText = 16;

}  // namespace

void dsc_jna_lockExports()
{
    AcquireSRWLockExclusive(&exportLock);
    holder.store(GetCurrentThreadId());
}

bool dsc_jna_tryLockExports()
{
    if (!TryAcquireSRWLockExclusive(&exportLock)) return false;
    holder.store(GetCurrentThreadId());
    return true;
}

void dsc_jna_unlockExports()
{
    holder.store(0);
    ReleaseSRWLockExclusive(&exportLock);
}

bool dsc_jna_heldByThisThread()
{
    // A token library called on a worker thread calls for the thread that
    // holds the lock and waits for it (or waited, when the call was given
    // up on): a call from there is a re-entry as well.
    return holder.load() == GetCurrentThreadId() || tcore_onStepThread();
}

void dsc_jna_traceReentry()
{
    TCORE_TRACE(TSRC_DSC_JNA, "called from inside a token library call, refused %d", DSC_JNA_ERR_REENTERED);
}

void dsc_jna_traceEscapedException()
{
    const char* what = "not a standard exception";
    try {
        throw;
    } catch (const std::exception& e) {
        what = e.what();
    } catch (...) {
    }
    // The trace sink is the one piece of the library that runs here; if it
    // throws as well, the host still gets its code.
    try {
        TCORE_TRACE(TSRC_DSC_JNA, "an exception escaped the export, %d: %s", DSC_JNA_ERR_INTERNAL, what);
    } catch (...) {
    }
}

int dsc_jna_failure(int code, int*) { return code; }

char* dsc_jna_failure(int code, char**)
{
    auto* text = static_cast<char*>(tcore_zalloc(kCodeText));
    std::snprintf(text, kCodeText, "%d", code);
    return text;
}
