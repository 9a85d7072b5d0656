// Zeroed allocation. A failed allocation ends the process with exit status
// 111, so no caller ever tests for null.
#pragma once

#include <cstddef>

void* tcore_zalloc(size_t size);

// A block for a large result that its holder keeps until tcore_free, such as
// the text of a signature. Not zeroed: the caller writes every byte it hands
// on. On Linux a block of several megabytes gets a mapping of its own,
// aligned to and advised for huge pages, so writing it takes one page fault
// per 2 MiB instead of one per 4 KiB; a smaller block, and any block on
// Windows, comes from the heap. Never null, as tcore_zalloc.
void* tcore_allocLarge(size_t size);

// Releases a block of tcore_zalloc or tcore_allocLarge, each the way it was
// taken; null is ignored.
void tcore_free(void* p);

// Ends the process the way a failed allocation does (normal exit, so exit
// handlers run).
[[noreturn]] void tcore_exitNoMemory();

// A zeroed copy of a NUL-terminated text.
char* tcore_strdup(const char* text);
