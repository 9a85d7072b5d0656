#include "pin.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "console.h"

Secret::Secret() { std::memset(buffer_, 0, sizeof buffer_); }

Secret::~Secret() { wipe(); }

void Secret::wipe() { wipe_text(buffer_, sizeof buffer_); }

bool Secret::equals(const Secret& other) const { return std::strcmp(buffer_, other.buffer_) == 0; }

void wipe_text(char* text, size_t length)
{
    volatile char* p = text;
    for (size_t i = 0; i < length; ++i) p[i] = 0;
}

namespace {

std::string too_long(const std::string& source)
{
    return "the PIN from " + source + " is longer than " + std::to_string(kPinMax) + " characters";
}

// Keeps the first line of a stream of characters: `next` gives one
// character, or a negative value at the end (or on an error).
template <typename Next>
PinResult first_line(const std::string& source, Next next, Secret& pin, std::string& error)
{
    size_t length = 0;
    int c;
    while ((c = next()) >= 0 && c != '\n') {
        if (length == kPinMax) {
            pin.wipe();
            error = too_long(source);
            return PinResult::kUsage;
        }
        pin.data()[length++] = static_cast<char>(c);
    }
    if (length > 0 && pin.data()[length - 1] == '\r') pin.data()[--length] = 0;
    if (length == 0) {
        error = "the PIN from " + source + " is empty";
        return PinResult::kUsage;
    }
    return PinResult::kGot;
}

PinResult copy_text(const std::string& source, const char* text, Secret& pin, std::string& error)
{
    size_t length = std::strlen(text);
    if (length > kPinMax) {
        error = too_long(source);
        return PinResult::kUsage;
    }
    if (length == 0) {
        error = "the PIN from " + source + " is empty";
        return PinResult::kUsage;
    }
    std::memcpy(pin.data(), text, length + 1);
    return PinResult::kGot;
}

PinResult from_fd(const std::string& option, const char* value, Secret& pin, std::string& error)
{
    char* end = nullptr;
    long fd = std::strtol(value, &end, 10);
    if (!*value || *end || fd < 0 || fd > 65535) {
        error = option + " needs a descriptor number, not " + value;
        return PinResult::kUsage;
    }
    // One byte at a time, so that nothing after the first line is taken from
    // a descriptor the caller may go on using.
    bool failedRead = false;
    auto next = [fd, &failedRead]() -> int {
        char c;
        long n = console_read_fd(static_cast<int>(fd), &c, 1);
        if (n < 0) failedRead = true;
        return n == 1 ? static_cast<unsigned char>(c) : -1;
    };
    std::string source = "descriptor " + std::string(value);
    PinResult r = first_line(source, next, pin, error);
    if (failedRead) {
        pin.wipe();
        error = "cannot read the PIN from " + source + ": " + std::strerror(errno);
        return PinResult::kFailed;
    }
    return r;
}

PinResult from_file(const char* path, Secret& pin, std::string& error)
{
    std::FILE* f = std::fopen(path, "rb");
    if (!f) {
        error = std::string("cannot open ") + path + ": " + std::strerror(errno);
        return PinResult::kFailed;
    }
    // Unbuffered: no copy of the PIN is left in a stdio buffer.
    std::setvbuf(f, nullptr, _IONBF, 0);
    PinResult r = first_line(
        path, [f]() { return std::fgetc(f); }, pin, error);
    bool failedRead = std::ferror(f) != 0;
    std::fclose(f);
    if (failedRead) {
        pin.wipe();
        error = std::string("cannot read ") + path;
        return PinResult::kFailed;
    }
    return r;
}

}  // namespace

PinResult pin_from_options(const ParsedArgs& a, const std::string& name, Secret& pin, std::string& error)
{
    const std::string env = name + "-env", fd = name + "-fd", file = name + "-file";
    int given = a.has(name) + a.has(env) + a.has(fd) + a.has(file);
    if (given == 0) return PinResult::kNone;
    if (given > 1) {
        error = "give only one of " + name + ", " + env + ", " + fd + ", " + file;
        return PinResult::kUsage;
    }
    if (a.has(name)) return copy_text(name, a.value(name), pin, error);
    if (a.has(env)) {
        const char* text = std::getenv(a.value(env));
        if (!text) {
            error = env + ": the environment variable " + a.value(env) + " is not set";
            return PinResult::kUsage;
        }
        return copy_text("the environment variable " + std::string(a.value(env)), text, pin, error);
    }
    if (a.has(fd)) return from_fd(fd, a.value(fd), pin, error);
    return from_file(a.value(file), pin, error);
}

PinResult pin_from_prompt(const std::string& prompt, Secret& pin, std::string& error)
{
    if (!console_stdin_is_terminal()) return PinResult::kNone;
    size_t typed = 0;
    if (!console_read_hidden(prompt.c_str(), pin.data(), kPinMax + 1, typed)) {
        pin.wipe();
        error = "no PIN was entered";
        return PinResult::kFailed;
    }
    if (typed > kPinMax) {
        pin.wipe();
        error = too_long("the terminal");
        return PinResult::kUsage;
    }
    if (typed == 0) {
        error = "no PIN was entered";
        return PinResult::kUsage;
    }
    return PinResult::kGot;
}
