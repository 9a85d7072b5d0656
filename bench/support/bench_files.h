// Files the benchmarks read: the test fixtures of the repository.
#pragma once

#include <string>

// The bytes of tests/fixtures/<name>; exits with a message when missing.
std::string bench_fixture(const std::string& name);
