// The platform primitives for standard streams and terminals
// (console_posix.cpp, console_win.cpp): what the PIN prompt and the byte-exact
// output need and the C library does not say portably.
#pragma once

#include <cstdio>

// Bytes written to `stream` go out unchanged (no newline translation).
void console_binary(std::FILE* stream);

// True when standard input is a terminal a person types at.
bool console_stdin_is_terminal();

// Shows `prompt` on standard error and reads one line from the terminal with
// echo off into `line` (at most size - 1 characters kept, NUL-terminated;
// `typed` counts every character of the line, so more than size - 1 means
// it was too long). False when nothing could be read.
bool console_read_hidden(const char* prompt, char* line, size_t size, size_t& typed);

// Reads up to `size` bytes from the open descriptor `fd`: the count read,
// 0 at end of input, negative on an error.
long console_read_fd(int fd, char* buffer, unsigned size);
