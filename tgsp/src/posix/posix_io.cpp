// File-size and descriptor calls of the C run-time, as msvcrt gives them.
#include <io.h>

#include <unistd.h>

int _fileno(std::FILE* stream) { return fileno(stream); }

int _chsize(int fd, long size) { return ftruncate(fd, size) == 0 ? 0 : -1; }
