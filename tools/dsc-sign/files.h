// Whole reads of the data, certificates and signatures, from files, pipes
// and standard input ("-"), and writes to files or standard output ("-").
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// True for "-", which names standard input or standard output.
bool is_standard_stream(const std::string& path);

// The length of a regular file, read without opening it: 64 bits wide on
// every platform, where the C library's ftell is 32 bits on Windows. `known`
// is false for standard input, pipes, devices and process substitutions,
// whose length is only known once they are read.
bool input_length(const std::string& path, std::uint64_t& length, bool& known, std::string& error);

// Reads all of `path` ("-": standard input). Reading stops after `limit`
// bytes with `tooLarge` set, so an endless pipe cannot exhaust memory.
bool read_input(const std::string& path, std::uint64_t limit, std::vector<unsigned char>& bytes, bool& tooLarge,
                std::string& error);
bool read_input(const std::string& path, std::vector<unsigned char>& bytes, std::string& error);

// An output file ("-": standard output, in binary mode). A file this run
// creates is removed again when the writing fails, so no truncated signature
// is left behind.
class Output {
public:
    explicit Output(std::string path) : path_(std::move(path)) {}
    ~Output();
    bool open(std::string& error);
    std::FILE* stream() const { return f_; }
    // Flushes and closes; false (and the file removed) on any write error.
    bool finish(std::string& error);

private:
    void discard();

    std::string path_;
    std::FILE* f_ = nullptr;
    bool created_ = false;
    bool finished_ = false;
};
