// The memory a process holds, as the platform counts it.
#pragma once

#include <cstddef>

// Resident bytes on Linux, the working set on Windows.
size_t process_memory_bytes();
