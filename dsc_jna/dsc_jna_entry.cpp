#include "dsc_jna_entry.h"

#include <windows.h>

#include <cstdio>
#include <exception>

#include "tcore_errors.h"
#include "tcore_mem.h"
#include "tcore_sources.h"
#include "tcore_trace.h"

namespace {

// Constant-initialised: it exists before any code of the library runs and
// needs no clean-up, however often the library is loaded and unloaded.
SRWLOCK exportLock = SRWLOCK_INIT;

// "-10001" and its NUL, with room to spare.
constexpr int kCodeText = 16;

}  // namespace

void dsc_jna_lockExports() { AcquireSRWLockExclusive(&exportLock); }

void dsc_jna_unlockExports() { ReleaseSRWLockExclusive(&exportLock); }

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

int dsc_jna_internalError(int*) { return DSC_JNA_ERR_INTERNAL; }

char* dsc_jna_internalError(char**)
{
    auto* text = static_cast<char*>(tcore_zalloc(kCodeText));
    std::snprintf(text, kCodeText, "%d", DSC_JNA_ERR_INTERNAL);
    return text;
}
