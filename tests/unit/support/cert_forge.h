// Certificates made from a fixture with another subject or another size,
// for the inputs a real issuer can produce but the fixtures do not hold.
// The issuer's signature is left as it was (nothing here checks it); the
// key stays the fixture's, so its key file still signs for the result.
#pragma once

#include <string>
#include <utility>
#include <vector>

// One attribute: a key as the platform prints it (C, O, OU, CN) and its
// value, written as a UTF8String.
using NameAttribute = std::pair<std::string, std::string>;
// RDNs in encoded order; an RDN of several attributes is multi-valued.
using NameRdns = std::vector<std::vector<NameAttribute>>;

// The DER X.500 name.
std::string x500Name(const NameRdns& rdns);

// `certificate` with its subject replaced by `subjectName` (DER); an empty
// name keeps the subject.
std::string withSubject(const std::string& certificate, const std::string& subjectName);

// `certificate` grown to exactly `derSize` bytes by a private, non-critical
// extension of filler bytes. Fails the calling test when that size cannot be
// reached.
std::string withDerSize(const std::string& certificate, size_t derSize);
