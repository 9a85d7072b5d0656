#include "process_memory.h"

#include <windows.h>
#include <psapi.h>

namespace {

// All zero when the system cannot tell.
PROCESS_MEMORY_COUNTERS counters()
{
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (!K32GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return {};
    return counters;
}

}  // namespace

size_t process_memory_bytes() { return counters().WorkingSetSize; }

// PagefileUsage is the process's commit charge, its private bytes: the
// figure PrivateUsage repeats, which Wine leaves at zero.
size_t process_private_bytes() { return counters().PagefileUsage; }
