// Zeroed allocation. A failed allocation ends the process with exit status
// 111, so no caller ever tests for null.
#pragma once

#include <cstddef>

void* tcore_zalloc(size_t size);
void tcore_free(void* p);

// Ends the process the way a failed allocation does (normal exit, so exit
// handlers run).
[[noreturn]] void tcore_exitNoMemory();

// A zeroed copy of a NUL-terminated text.
char* tcore_strdup(const char* text);
