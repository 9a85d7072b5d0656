#include "cert_forge.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

namespace {

std::string tlv(unsigned char tag, const std::string& body)
{
    std::string out(1, static_cast<char>(tag));
    size_t n = body.size();
    if (n < 0x80) {
        out += static_cast<char>(n);
    } else {
        std::string digits;
        for (; n > 0; n >>= 8) digits.insert(digits.begin(), static_cast<char>(n & 0xFF));
        out += static_cast<char>(0x80 | digits.size());
        out += digits;
    }
    return out + body;
}

struct Element {
    unsigned char tag;
    std::string whole;
    std::string body;
};

// The elements one after the other in `der`; an element that runs past the
// end fails the test and ends the list.
std::vector<Element> elementsOf(const std::string& der)
{
    std::vector<Element> out;
    size_t pos = 0;
    while (pos + 2 <= der.size()) {
        auto byteAt = [&](size_t i) { return static_cast<unsigned char>(der[i]); };
        size_t head = 2;
        size_t len = byteAt(pos + 1);
        if (len & 0x80) {
            size_t count = len & 0x7F;
            len = 0;
            for (size_t i = 0; i < count && pos + 2 + i < der.size(); ++i) len = len << 8 | byteAt(pos + 2 + i);
            head += count;
        }
        if (pos + head + len > der.size()) {
            ADD_FAILURE() << "element at " << pos << " runs past the end";
            break;
        }
        out.push_back({byteAt(pos), der.substr(pos, head + len), der.substr(pos + head, len)});
        pos += head + len;
    }
    return out;
}

std::string bodyOf(const std::string& der)
{
    auto elements = elementsOf(der);
    return elements.empty() ? std::string() : elements[0].body;
}

std::string oidOf(const std::string& key)
{
    static const std::map<std::string, std::string> oids = {
        {"C", "\x55\x04\x06"}, {"O", "\x55\x04\x0A"}, {"OU", "\x55\x04\x0B"}, {"CN", "\x55\x04\x03"}};
    auto it = oids.find(key);
    if (it == oids.end()) {
        ADD_FAILURE() << "no OID for " << key;
        return {};
    }
    return tlv(0x06, it->second);
}

// The TBSCertificate's elements, the index of its subject and of its
// extensions ([3], or the end when there are none).
struct Tbs {
    std::vector<Element> elements;
    size_t subject;
    size_t extensions;
};

Tbs tbsOf(const std::string& certificate)
{
    Tbs tbs{elementsOf(bodyOf(bodyOf(certificate))), 0, 0};
    size_t first = !tbs.elements.empty() && tbs.elements[0].tag == 0xA0 ? 1 : 0;  // version present
    tbs.subject = first + 4;  // serial, signature, issuer, validity come first
    tbs.extensions = tbs.elements.size();
    for (size_t i = 0; i < tbs.elements.size(); ++i)
        if (tbs.elements[i].tag == 0xA3) tbs.extensions = i;
    if (tbs.subject >= tbs.elements.size()) ADD_FAILURE() << "no subject in the certificate";
    return tbs;
}

std::string certificateOf(const std::string& original, const Tbs& tbs)
{
    std::string body;
    for (const auto& e : tbs.elements) body += e.whole;
    auto outer = elementsOf(bodyOf(original));
    std::string rest;
    for (size_t i = 1; i < outer.size(); ++i) rest += outer[i].whole;  // signature algorithm and value
    return tlv(0x30, tlv(0x30, body) + rest);
}

std::string withFiller(const std::string& certificate, size_t filler)
{
    Tbs tbs = tbsOf(certificate);
    std::string list;  // the Extension elements
    if (tbs.extensions < tbs.elements.size()) list = bodyOf(tbs.elements[tbs.extensions].body);
    // 1.3.6.1.4.1.55555.1: a private arc, unknown to every reader.
    const std::string oid = tlv(0x06, std::string("\x2B\x06\x01\x04\x01\x83\xB2\x03\x01", 9));
    list += tlv(0x30, oid + tlv(0x04, std::string(filler, 'f')));
    Element extensions{0xA3, tlv(0xA3, tlv(0x30, list)), {}};
    if (tbs.extensions < tbs.elements.size())
        tbs.elements[tbs.extensions] = extensions;
    else
        tbs.elements.push_back(extensions);
    return certificateOf(certificate, tbs);
}

}  // namespace

std::string x500Name(const NameRdns& rdns)
{
    std::string body;
    for (const auto& rdn : rdns) {
        std::vector<std::string> attributes;
        for (const auto& [key, value] : rdn) attributes.push_back(tlv(0x30, oidOf(key) + tlv(0x0C, value)));
        std::sort(attributes.begin(), attributes.end());  // a DER SET OF is sorted
        std::string set;
        for (const auto& a : attributes) set += a;
        body += tlv(0x31, set);
    }
    return tlv(0x30, body);
}

std::string withSubject(const std::string& certificate, const std::string& subjectName)
{
    if (subjectName.empty()) return certificate;
    Tbs tbs = tbsOf(certificate);
    if (tbs.subject >= tbs.elements.size()) return certificate;
    tbs.elements[tbs.subject] = {0x30, subjectName, bodyOf(subjectName)};
    return certificateOf(certificate, tbs);
}

std::string withDerSize(const std::string& certificate, size_t derSize)
{
    size_t filler = 0;
    // Each length field may grow by a byte as the filler grows; a few rounds
    // settle it.
    for (int round = 0; round < 8; ++round) {
        std::string grown = withFiller(certificate, filler);
        if (grown.size() == derSize) return grown;
        if (grown.size() > derSize && filler == 0) break;
        filler = grown.size() < derSize ? filler + (derSize - grown.size())
                                        : filler - std::min(filler, std::max<size_t>(1, grown.size() - derSize));
    }
    ADD_FAILURE() << "cannot make a certificate of " << derSize << " bytes";
    return certificate;
}
