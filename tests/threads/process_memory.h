// The memory a process holds, as the platform counts it.
#pragma once

#include <cstddef>

// Resident bytes on Linux, the working set on Windows.
size_t process_memory_bytes();

// What the process holds for itself and would keep if it leaked: private
// bytes on Windows (committed memory no other process shares), resident bytes
// on Linux.
size_t process_private_bytes();
