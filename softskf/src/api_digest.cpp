// Hashes: SM3 (with the SM2 signer's Z when a key and an identity are
// given), SHA-1 and SHA-256, in one step or in parts.
#include "blobs.h"
#include "output.h"
#include "session.h"

using namespace softskf;

namespace {

std::optional<crypto::HashAlgorithm> hash_algorithm(SKF_ULONG id)
{
    switch (id) {
    case SGD_SM3: return crypto::HashAlgorithm::sm3;
    case SGD_SHA1: return crypto::HashAlgorithm::sha1;
    case SGD_SHA256: return crypto::HashAlgorithm::sha256;
    default: return std::nullopt;
    }
}

// A hash handle whose value was taken is spent until a new DigestInit.
SKF_ULONG live_hash(Call& call, SKF_HANDLE handle, Resolved& r)
{
    if (SKF_ULONG rc = call.resolve(handle, HandleKind::hash, r)) return rc;
    return r.entry->hash ? SAR_OK : SAR_HASHOBJERR;
}

// Answers the size question, or finishes the hash into the caller's buffer.
SKF_ULONG finish_hash(Call& call, Resolved& r, const SKF_BYTE* data, SKF_ULONG data_length, SKF_BYTE* out,
                      SKF_ULONG* out_length)
{
    const std::size_t needed = crypto::hash_length(r.entry->hash->algorithm());
    if (out == nullptr || (*out_length < needed && !call.hostile()))
        return put_bytes(Bytes(needed), out, out_length, call.hostile());
    r.entry->hash->update(data, data_length);
    Bytes value = r.entry->hash->finish();
    r.entry->hash.reset();
    return put_bytes(std::move(value), out, out_length, call.hostile());
}

}  // namespace

extern "C" {

SKF_ULONG DEVAPI SKF_DigestInit(DEVHANDLE hDev, SKF_ULONG ulAlgID, ECCPUBLICKEYBLOB* pPubKey, unsigned char* pucID,
                                SKF_ULONG ulIDLen, SKF_HANDLE* phHash)
{
    return run_call("SKF_DigestInit", [&](Call& call) -> SKF_ULONG {
        Resolved r;
        if (SKF_ULONG rc = call.resolve(hDev, HandleKind::device, r)) return rc;
        auto algorithm = hash_algorithm(ulAlgID);
        if (phHash == nullptr) return SAR_INVALIDPARAMERR;
        if (!algorithm) return SAR_NOTSUPPORTYETERR;
        Bytes z;
        if (*algorithm == crypto::HashAlgorithm::sm3 && ulIDLen != 0) {
            Bytes x, y;
            if (pPubKey == nullptr || pucID == nullptr || ulIDLen > crypto::sm2_max_id_bytes ||
                !read_ecc_public_blob(*pPubKey, x, y) || !crypto::sm2_point_on_curve(x, y))
                return SAR_INVALIDPARAMERR;
            z = crypto::sm2_z(x, y, pucID, ulIDLen);
        }
        if (SKF_ULONG rc = call.check_faults({r.device->name, {}, {}})) return rc;
        auto hash = std::make_unique<crypto::Hash>(*algorithm);
        if (!hash->valid()) return SAR_HASHERR;
        hash->update(z.data(), z.size());
        HandleEntry entry;
        entry.kind = HandleKind::hash;
        entry.parent = reinterpret_cast<std::uintptr_t>(hDev);
        entry.device = r.device->name;
        entry.hash = std::move(hash);
        *phHash = call.open_handle(std::move(entry));
        return SAR_OK;
    });
}

SKF_ULONG DEVAPI SKF_Digest(SKF_HANDLE hHash, SKF_BYTE* pbData, SKF_ULONG ulDataLen, SKF_BYTE* pbHashData,
                            SKF_ULONG* pulHashLen)
{
    return run_call("SKF_Digest", [&](Call& call) -> SKF_ULONG {
        Resolved r;
        if (SKF_ULONG rc = live_hash(call, hHash, r)) return rc;
        if ((pbData == nullptr && ulDataLen > 0) || pulHashLen == nullptr) return SAR_INVALIDPARAMERR;
        if (SKF_ULONG rc = call.check_faults({r.device->name, {}, {}})) return rc;
        return finish_hash(call, r, pbData, ulDataLen, pbHashData, pulHashLen);
    });
}

SKF_ULONG DEVAPI SKF_DigestUpdate(SKF_HANDLE hHash, SKF_BYTE* pbData, SKF_ULONG ulDataLen)
{
    return run_call("SKF_DigestUpdate", [&](Call& call) -> SKF_ULONG {
        Resolved r;
        if (SKF_ULONG rc = live_hash(call, hHash, r)) return rc;
        if (pbData == nullptr && ulDataLen > 0) return SAR_INVALIDPARAMERR;
        if (SKF_ULONG rc = call.check_faults({r.device->name, {}, {}})) return rc;
        r.entry->hash->update(pbData, ulDataLen);
        return SAR_OK;
    });
}

SKF_ULONG DEVAPI SKF_DigestFinal(SKF_HANDLE hHash, SKF_BYTE* pHashData, SKF_ULONG* pulHashLen)
{
    return run_call("SKF_DigestFinal", [&](Call& call) -> SKF_ULONG {
        Resolved r;
        if (SKF_ULONG rc = live_hash(call, hHash, r)) return rc;
        if (pulHashLen == nullptr) return SAR_INVALIDPARAMERR;
        if (SKF_ULONG rc = call.check_faults({r.device->name, {}, {}})) return rc;
        return finish_hash(call, r, nullptr, 0, pHashData, pulHashLen);
    });
}

SKF_ULONG DEVAPI SKF_CloseHandle(SKF_HANDLE hHandle)
{
    return run_call("SKF_CloseHandle",
                    [&](Call& call) -> SKF_ULONG { return call.close_call(hHandle, HandleKind::hash); });
}

}  // extern "C"
