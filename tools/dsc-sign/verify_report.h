// How dsc-sign verify tells its verdict: lines for people on standard
// output (valid) or standard error (anything else), or one JSON object on
// standard output for scripts.
#pragma once

#include <cstdio>

#include "verify.h"

void print_report_text(const VerifyReport& r);
void print_report_json(std::FILE* f, const VerifyReport& r);
