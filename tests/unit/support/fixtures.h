// The certificate fixtures made by tests/fixtures/make-fixtures.sh, compiled
// into the suite.
#pragma once

#include <map>
#include <string>
#include <vector>

// Every fixture by its path below tests/fixtures ("certs/rsa_sign.der").
const std::map<std::string, std::string>& fixtureTable();

// One fixture's bytes; an unknown name fails the calling test.
std::string fixture(const std::string& name);

// The names of the fixtures in one folder ("names/"), sorted.
std::vector<std::string> fixturesIn(const std::string& folder);

inline const unsigned char* bytesOf(const std::string& s) { return reinterpret_cast<const unsigned char*>(s.data()); }
inline int lengthOf(const std::string& s) { return static_cast<int>(s.size()); }

// Bytes from hexadecimal digits; blanks between them are ignored.
std::string unhex(const std::string& digits);
// Upper-case hexadecimal digits, two per byte, no separators.
std::string hexOf(const std::string& bytes);
// Base64 of the bytes, no line breaks: a certificate as callers pass it.
std::string base64Of(const std::string& der);
