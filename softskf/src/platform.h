// The few operating-system services the token needs: where this module lives
// (its state file sits beside it) and whole-file reads and atomic writes.
#pragma once

#include <string>

namespace softskf {

// The state file of this copy of the module: "<module path>.json", as a path
// in the platform's native encoding (UTF-8 on Linux; UTF-8 converted from
// the wide path on Windows). Empty if the module cannot find itself.
std::string state_file_path();

enum class ReadResult { ok, missing, failed };
ReadResult read_whole_file(const std::string& path, std::string& contents);

// Writes a sibling temporary file, flushes it and renames it over `path`, so
// a reader (or a crash) sees either the old or the new state, never half.
bool replace_file_atomically(const std::string& path, const std::string& contents);

// Keeps the shared library that holds `address` loaded until the process
// ends, whatever becomes of this module. Nothing to do for code linked into
// the module itself (libgcrypt on Windows).
void keep_library_loaded(const void* address);

}  // namespace softskf
