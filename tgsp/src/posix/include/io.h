// Linux stand-in for the part of the C run-time's <io.h> the library uses.
#pragma once

#include <cstdio>

// The descriptor under a stdio stream.
int _fileno(std::FILE* stream);
// Sets the size of the file open on `fd`: 0, or -1 on failure.
int _chsize(int fd, long size);
