#include "ber.h"

namespace {

// Signatures nest a dozen levels; anything much deeper is hostile.
const int kMaxDepth = 48;

bool read_element(const unsigned char* p, size_t available, BerElement& out, int depth);

// Walks the children of an indefinite-length element up to its
// end-of-contents octets; `length` receives the contents' length.
bool indefinite_contents(const unsigned char* p, size_t available, size_t& length, int depth)
{
    size_t used = 0;
    for (;;) {
        if (available - used < 2) return false;
        if (p[used] == 0 && p[used + 1] == 0) {
            length = used;
            return true;
        }
        BerElement child;
        if (!read_element(p + used, available - used, child, depth + 1)) return false;
        used += child.wholeLength;
    }
}

bool read_element(const unsigned char* p, size_t available, BerElement& out, int depth)
{
    if (depth > kMaxDepth || available < 2) return false;
    out = BerElement{};
    size_t i = 0;
    unsigned char first = p[i++];
    out.tagClass = first >> 6;
    out.constructed = (first & 0x20) != 0;
    out.tag = first & 0x1F;
    if (out.tag == 0x1F) {
        out.tag = 0;
        for (int n = 0;; ++n) {
            if (i >= available || n == 4) return false;
            unsigned char b = p[i++];
            out.tag = out.tag << 7 | (b & 0x7F);
            if (!(b & 0x80)) break;
        }
    }
    if (i >= available) return false;
    unsigned char lengthByte = p[i++];
    out.der = true;
    if (lengthByte == 0x80) {
        if (!out.constructed) return false;
        size_t length = 0;
        if (!indefinite_contents(p + i, available - i, length, depth)) return false;
        out.contents = p + i;
        out.contentsLength = length;
        out.wholeLength = i + length + 2;
        out.der = false;
    } else {
        size_t length = lengthByte;
        if (lengthByte & 0x80) {
            size_t count = lengthByte & 0x7F;
            if (count > 4 || count > available - i) return false;
            length = 0;
            for (size_t k = 0; k < count; ++k) length = length << 8 | p[i++];
            // DER takes the short form below 128 and no leading zero octet.
            out.der = length >= 0x80 && p[i - count] != 0;
        }
        if (length > available - i) return false;
        out.contents = p + i;
        out.contentsLength = length;
        out.wholeLength = i + length;
    }
    out.whole = p;
    return true;
}

bool gather_octets(const BerElement& e, std::vector<unsigned char>& out, int depth)
{
    if (!e.constructed) {
        out.insert(out.end(), e.contents, e.contents + e.contentsLength);
        return true;
    }
    if (depth > kMaxDepth) return false;
    BerChildren segments(e);
    BerElement segment;
    while (segments.next(segment)) {
        if (!segment.isUniversal(kBerOctetString) || !gather_octets(segment, out, depth + 1)) return false;
    }
    return !segments.failed();
}

}  // namespace

bool ber_read(const unsigned char* p, size_t available, BerElement& out) { return read_element(p, available, out, 0); }

bool BerChildren::next(BerElement& child)
{
    if (left_ == 0 || failed_) return false;
    if (!ber_read(p_, left_, child)) {
        failed_ = true;
        return false;
    }
    p_ += child.wholeLength;
    left_ -= child.wholeLength;
    return true;
}

bool ber_octets(const BerElement& e, std::vector<unsigned char>& out)
{
    out.clear();
    return e.isUniversal(kBerOctetString) && gather_octets(e, out, 0);
}

bool ber_oid_text(const BerElement& e, std::string& out)
{
    out.clear();
    if (!e.isUniversal(kBerOid) || e.constructed || e.contentsLength == 0) return false;
    std::uint64_t arc = 0;
    bool firstArc = true;
    for (size_t i = 0; i < e.contentsLength; ++i) {
        unsigned char b = e.contents[i];
        if (arc == 0 && b == 0x80) return false;  // a padded arc
        if (arc >> 56) return false;              // beyond 64 bits
        arc = arc << 7 | (b & 0x7F);
        if (b & 0x80) {
            if (i + 1 == e.contentsLength) return false;
            continue;
        }
        if (firstArc) {
            unsigned top = arc < 40 ? 0 : arc < 80 ? 1 : 2;
            out = std::to_string(top) + "." + std::to_string(arc - 40 * top);
            firstArc = false;
        } else {
            out += "." + std::to_string(arc);
        }
        arc = 0;
    }
    return true;
}

bool ber_expect(BerChildren& children, std::uint32_t universalTag, BerElement& out)
{
    return children.next(out) && out.isUniversal(universalTag);
}
