// The encoding half of an attached signature of MIB mebibytes, both ways
// the library has had: "whole" builds the DER SignedData in one buffer and
// then its base64 text (the data held again in the DER, and the encoder's
// nested structures copy it on their way out); "pieces" encodes around the
// caller's data and writes the text straight from it. Built for the 32-bit
// Windows target, where address space is the limit: a failed allocation
// ends the process with the library's out-of-memory status (111).
//   large_encode whole|pieces MIB
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bench_files.h"
#include "tasn1_item.h"
#include "tasn1_pkcs7.h"
#include "tcore_codec.h"
#include "tcore_mem.h"

int main(int argc, char** argv)
{
    if (argc != 3 || (std::strcmp(argv[1], "whole") != 0 && std::strcmp(argv[1], "pieces") != 0)) {
        std::fprintf(stderr, "usage: large_encode whole|pieces MIB\n");
        return 2;
    }
    bool whole = std::strcmp(argv[1], "whole") == 0;
    int mib = std::atoi(argv[2]);
    const std::string cert = bench_fixture("certs/sm2_sign.der");
    const std::string sig(72, '\x5A');
    const auto* certBytes = reinterpret_cast<const unsigned char*>(cert.data());
    const auto* sigBytes = reinterpret_cast<const unsigned char*>(sig.data());
    int n = mib << 20;
    auto* data = static_cast<unsigned char*>(tcore_zalloc(static_cast<size_t>(n)));
    for (int i = 0; i < n; i += 4096) data[i] = static_cast<unsigned char>(i >> 12);

    // The text's buffer comes first, sized from the data as the signing call
    // sizes it before anything is encoded.
    int capacity = (n + 2) / 3 * 4 + 8192;
    auto* text = static_cast<char*>(tcore_zalloc(static_cast<size_t>(capacity)));
    int textLen = 0;
    if (whole) {
        unsigned char* der = nullptr;
        int derLen = tasn1_p7sign_encode_attach(data, n, certBytes, static_cast<int>(cert.size()), sigBytes,
                                                static_cast<int>(sig.size()), TASN1_KID_SM3, &der);
        if (derLen < 0) return 1;
        textLen = tcore_base64_encode(text, der, derLen, capacity);
        tcore_free(der);
    } else {
        tasn1_p7pieces pieces{};
        int total = tasn1_p7sign_encode_attachPieces(data, n, certBytes, static_cast<int>(cert.size()), sigBytes,
                                                     static_cast<int>(sig.size()), TASN1_KID_SM3, &pieces);
        if (total < 0) return 1;
        const tcore_bytes parts[] = {
            {pieces.head, pieces.headLen}, {pieces.content, pieces.contentLen}, {pieces.tail, pieces.tailLen}};
        textLen = tcore_base64_encodePieces(text, parts, 3, capacity);
        tasn1_p7pieces_free(&pieces);
    }
    tcore_free(text);
    tcore_free(data);
    std::printf("%s: %d MiB of content, base64 text of %d characters\n", argv[1], mib, textLen);
    return textLen > 0 ? 0 : 1;
}
