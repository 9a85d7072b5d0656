// PINs for `sign` and `change-pin`, kept off the command line: from an
// environment variable, an open descriptor, the first line of a file, or a
// prompt without echo. `--pin PIN` stays for older scripts.
#pragma once

#include <cstddef>
#include <string>

#include "args.h"

// Long enough for any token PIN; a longer line is refused rather than cut.
const size_t kPinMax = 256;

// A PIN in a buffer of its own that is zeroed when it goes away, so the
// text does not linger in freed memory.
class Secret {
public:
    Secret();
    ~Secret();
    Secret(const Secret&) = delete;
    Secret& operator=(const Secret&) = delete;

    const char* c_str() const { return buffer_; }
    bool empty() const { return buffer_[0] == 0; }
    bool equals(const Secret& other) const;
    // Room for kPinMax characters and the NUL.
    char* data() { return buffer_; }
    void wipe();

private:
    char buffer_[kPinMax + 1];
};

// Zeroes text the compiler must not optimise away (a PIN in argv or a string).
void wipe_text(char* text, size_t length);

enum class PinResult { kNone, kGot, kUsage, kFailed };

// The PIN named by the options `<name>`, `<name>-env`, `<name>-fd` and
// `<name>-file` of `a` (name is "--pin", "--old-pin" or "--new-pin"); at most
// one of them may be given. kNone when none is; kUsage or kFailed with
// `error` when the source is wrong or unreadable.
PinResult pin_from_options(const ParsedArgs& a, const std::string& name, Secret& pin, std::string& error);

// Asks for a PIN at the terminal, without echo; kNone when standard input is
// not a terminal.
PinResult pin_from_prompt(const std::string& prompt, Secret& pin, std::string& error);

// The option names that pin_from_options reads for `name`, for the parser.
#define PIN_OPTIONS(name) name, name "-env", name "-fd", name "-file"
