#include "bench_files.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

std::string bench_fixture(const std::string& name)
{
    std::string path = std::string(DSC_BENCH_FIXTURES) + "/" + name;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", path.c_str());
        std::exit(2);
    }
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}
