// The table every benchmark binary prints after its runs: the median of the
// repetitions for each case, and for each case measured against OpenSSL the
// ratio of the two medians taken in the same run.
//
// Naming: a pair is "<case>/ours/<arg>" and "<case>/openssl/<arg>". Any
// other benchmark is listed on its own. Each row is followed by its user
// counters (their medians).
#pragma once

int bench_runWithRatioTable(int argc, char** argv);
