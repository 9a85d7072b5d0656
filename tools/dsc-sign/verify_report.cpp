#include "verify_report.h"

#include <string>

namespace {

std::string json_string(const std::string& s)
{
    std::string out = "\"";
    char hex[8];
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            std::snprintf(hex, sizeof hex, "\\u%04x", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

const char* verdict_word(Verdict v) { return v == Verdict::kValid ? "valid" : verdict_name(v); }

// A signer's lines: which certificate, which algorithm, when and what was
// checked of its certificate.
void print_signer(std::FILE* f, const SignerReport& s, const char* indent)
{
    if (!s.signer.empty()) std::fprintf(f, "%ssigner: %s\n", indent, s.signer.c_str());
    if (!s.serial.empty()) std::fprintf(f, "%sserial: %s\n", indent, s.serial.c_str());
    if (!s.algorithm.empty()) std::fprintf(f, "%salgorithm: %s\n", indent, s.algorithm.c_str());
    if (!s.signingTime.empty()) std::fprintf(f, "%ssigning time: %s\n", indent, s.signingTime.c_str());
    if (s.verdict == Verdict::kValid) std::fprintf(f, "%strust: %s\n", indent, s.trust.c_str());
}

}  // namespace

void print_report_text(const VerifyReport& r)
{
    if (r.verdict == Verdict::kValid) {
        bool several = r.signers.size() > 1;
        for (size_t i = 0; i < r.signers.size(); ++i) {
            if (several) std::printf("signer %zu of %zu: verified\n", i + 1, r.signers.size());
            print_signer(stdout, r.signers[i], several ? "  " : "");
        }
        std::printf("content: %s, %zu bytes\nverified\n", r.attached ? "attached" : "detached", r.contentLength);
        return;
    }
    if (!r.reason.empty()) std::fprintf(stderr, "dsc-sign verify: %s: %s\n", verdict_name(r.verdict), r.reason.c_str());
    for (size_t i = 0; i < r.signers.size(); ++i) {
        const SignerReport& s = r.signers[i];
        if (r.signers.size() > 1)
            std::fprintf(stderr, "dsc-sign verify: signer %zu of %zu: ", i + 1, r.signers.size());
        else
            std::fprintf(stderr, "dsc-sign verify: ");
        std::fprintf(stderr, "%s%s%s\n", verdict_name(s.verdict), s.reason.empty() ? "" : ": ", s.reason.c_str());
        print_signer(stderr, s, "  ");
    }
}

void print_report_json(std::FILE* f, const VerifyReport& r)
{
    std::fprintf(f, "{\"verdict\":%s", json_string(verdict_word(r.verdict)).c_str());
    if (!r.reason.empty()) std::fprintf(f, ",\"reason\":%s", json_string(r.reason).c_str());
    if (!r.signers.empty())
        std::fprintf(f, ",\"content\":{\"attached\":%s,\"length\":%zu}", r.attached ? "true" : "false",
                     r.contentLength);
    std::fprintf(f, ",\"signers\":[");
    for (size_t i = 0; i < r.signers.size(); ++i) {
        const SignerReport& s = r.signers[i];
        std::fprintf(f, "%s{\"verdict\":%s", i ? "," : "", json_string(verdict_word(s.verdict)).c_str());
        if (!s.reason.empty()) std::fprintf(f, ",\"reason\":%s", json_string(s.reason).c_str());
        std::fprintf(f, ",\"algorithm\":%s,\"signer\":%s,\"serial\":%s,\"signingTime\":%s",
                     json_string(s.algorithm).c_str(), json_string(s.signer).c_str(), json_string(s.serial).c_str(),
                     s.signingTime.empty() ? "null" : json_string(s.signingTime).c_str());
        if (!s.trust.empty()) std::fprintf(f, ",\"trust\":%s", json_string(s.trust).c_str());
        std::fprintf(f, "}");
    }
    std::fprintf(f, "]}\n");
}
