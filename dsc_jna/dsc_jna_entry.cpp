#include "dsc_jna_entry.h"

#include <windows.h>

namespace {

// Constant-initialised: it exists before any code of the library runs and
// needs no clean-up, however often the library is loaded and unloaded.
SRWLOCK exportLock = SRWLOCK_INIT;

}  // namespace

void dsc_jna_lockExports() { AcquireSRWLockExclusive(&exportLock); }

void dsc_jna_unlockExports() { ReleaseSRWLockExclusive(&exportLock); }
