#include "forms.h"

#include <algorithm>
#include <vector>

#include "base64.h"

bool parse_form(const std::string& text, Form& form)
{
    if (text == "der")
        form = Form::kDer;
    else if (text == "pem")
        form = Form::kPem;
    else if (text == "base64")
        form = Form::kBase64;
    else
        return false;
    return true;
}

namespace {

const size_t kPemColumns = 64;

bool put(std::FILE* f, const void* p, size_t n) { return std::fwrite(p, 1, n, f) == n; }

bool put_text(std::FILE* f, const std::string& s) { return put(f, s.data(), s.size()); }

}  // namespace

bool write_base64_as(std::FILE* f, const char* text, size_t len, Form form, const char* pemLabel, size_t& derBytes,
                     std::string& error)
{
    derBytes = 0;
    // A multiple of 4 (whole base64 groups) and of 64 (whole PEM lines).
    constexpr size_t kBlock = 64 * 1024;
    std::vector<unsigned char> bytes;
    bool ok = form != Form::kPem || put_text(f, std::string("-----BEGIN ") + pemLabel + "-----\n");
    for (size_t pos = 0; pos < len && ok; pos += kBlock) {
        size_t n = std::min(kBlock, len - pos);
        if (!base64_decode(std::string(text + pos, n), bytes)) {
            error = "the library's text is not base64";
            return false;
        }
        derBytes += bytes.size();
        if (form == Form::kDer) {
            ok = put(f, bytes.data(), bytes.size());
        } else if (form == Form::kBase64) {
            ok = put(f, text + pos, n);
        } else {
            for (size_t line = 0; line < n && ok; line += kPemColumns)
                ok = put(f, text + pos + line, std::min(kPemColumns, n - line)) && put(f, "\n", 1);
        }
    }
    if (ok && form == Form::kBase64) ok = put(f, "\n", 1);
    if (ok && form == Form::kPem) ok = put_text(f, std::string("-----END ") + pemLabel + "-----\n");
    if (!ok) error = "cannot write the output";
    return ok;
}

bool der_from_any_form(const std::vector<unsigned char>& input, std::vector<unsigned char>& der)
{
    // DER starts with a SEQUENCE tag, which no text form does.
    if (!input.empty() && input[0] == 0x30) {
        der = input;
        return true;
    }
    std::string text(input.begin(), input.end());
    size_t begin = text.find("-----BEGIN ");
    if (begin != std::string::npos) {
        size_t bodyStart = text.find('\n', begin);
        size_t end = text.find("-----END ", begin);
        if (bodyStart == std::string::npos || end == std::string::npos || end < bodyStart) return false;
        text = text.substr(bodyStart + 1, end - bodyStart - 1);
    }
    return base64_decode(text, der) && !der.empty();
}
