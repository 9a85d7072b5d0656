// Registry fixtures written the way installers write them: .reg text. On
// Linux the text becomes the file the registry stand-in reads; on Windows it
// is imported with reg.exe into HKEY_LOCAL_MACHINE, in the view of the test
// program's bitness (the one the library of that bitness reads).
#pragma once

#include <string>

// Replaces every entry the library reads (the SKF provider tree, the 360
// provider and the log key) with what `regText` holds.
void test_registry_install(const std::string& regText);

// Also writes `regText` into one view only: the 32-bit one for `bits` 32, the
// 64-bit one for 64. False where the platform has a single view (then the
// test of that case does not apply).
bool test_registry_installInView(const std::string& regText, int bits);

// Removes every entry the library reads.
void test_registry_clear();

// A text as a quoted .reg string value holds it: \ and " escaped.
inline std::string regString(const std::string& text)
{
    std::string out = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"') out.push_back('\\');
        out.push_back(c);
    }
    return out + "\"";
}

// The header line installers write.
inline const char* const kRegHeader = "Windows Registry Editor Version 5.00\r\n\r\n";
