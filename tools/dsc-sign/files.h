// Whole-file reads and writes for the data, certificates and signatures.
#pragma once

#include <string>
#include <vector>

bool read_file(const std::string& path, std::vector<unsigned char>& bytes, std::string& error);
bool write_file(const std::string& path, const std::vector<unsigned char>& bytes, std::string& error);
