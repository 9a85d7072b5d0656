#include "process_memory.h"

#include <windows.h>
#include <psapi.h>

size_t process_memory_bytes()
{
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (!K32GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return 0;
    return counters.WorkingSetSize;
}

size_t process_private_bytes()
{
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    auto* basic = reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters);
    if (!K32GetProcessMemoryInfo(GetCurrentProcess(), basic, sizeof counters)) return 0;
    return counters.PrivateUsage;
}
