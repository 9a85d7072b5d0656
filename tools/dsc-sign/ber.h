// A reader of BER, the encoding signatures arrive in: DER, and the BER that
// streaming signers write (indefinite lengths, constructed OCTET STRINGs).
// It never reads outside the bytes it is given and bounds its nesting, so
// it is safe on any input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct BerElement {
    unsigned tagClass = 0;  // 0 universal, 1 application, 2 context-specific, 3 private
    bool constructed = false;
    std::uint32_t tag = 0;                 // the tag number within its class
    const unsigned char* whole = nullptr;  // header, contents and end-of-contents octets
    size_t wholeLength = 0;
    const unsigned char* contents = nullptr;  // the contents, without end-of-contents octets
    size_t contentsLength = 0;
    bool der = false;  // definite, minimal length octets (as DER writes them)

    bool is(unsigned cls, std::uint32_t number) const { return tagClass == cls && tag == number; }
    bool isUniversal(std::uint32_t number) const { return is(0, number); }
    bool isContext(std::uint32_t number) const { return is(2, number); }
};

// Universal tags this verifier looks at.
enum BerTag : std::uint32_t {
    kBerBoolean = 1,
    kBerInteger = 2,
    kBerBitString = 3,
    kBerOctetString = 4,
    kBerNull = 5,
    kBerOid = 6,
    kBerUtf8String = 12,
    kBerSequence = 16,
    kBerSet = 17,
    kBerPrintableString = 19,
    kBerT61String = 20,
    kBerIa5String = 22,
    kBerUtcTime = 23,
    kBerGeneralizedTime = 24,
    kBerUniversalString = 28,
    kBerBmpString = 30,
};

// Reads the element that starts at `p` (`available` bytes readable).
bool ber_read(const unsigned char* p, size_t available, BerElement& out);

// The children of a constructed element, one after the other.
class BerChildren {
public:
    explicit BerChildren(const BerElement& parent) : p_(parent.contents), left_(parent.contentsLength) {}
    // False at the end or on a malformed child (then failed() is true).
    bool next(BerElement& child);
    bool failed() const { return failed_; }
    bool atEnd() const { return left_ == 0; }

private:
    const unsigned char* p_;
    size_t left_;
    bool failed_ = false;
};

// The bytes of an OCTET STRING, primitive or constructed of segments.
bool ber_octets(const BerElement& e, std::vector<unsigned char>& out);

// The dotted text of an OBJECT IDENTIFIER ("1.2.840.113549.1.7.2"), or
// false when its contents are not a valid encoding.
bool ber_oid_text(const BerElement& e, std::string& out);

// The next child, which must exist and carry the given universal tag.
bool ber_expect(BerChildren& children, std::uint32_t universalTag, BerElement& out);
