#include "tcore_base64_middle.h"

#include <cstdint>
#include <system_error>
#include <thread>

struct tcore_base64_middle {
    int offset = 0;  // bytes of the whole before the middle
    const unsigned char* data = nullptr;
    int len = 0;
    std::thread worker;
};

namespace {

// The part of a middle written ahead: after the first bytes that end the
// group `before` begins, whole groups of three only.
struct Groups {
    int skipped;
    int written;
};

Groups groupsOf(int offset, int len)
{
    int skipped = (3 - offset % 3) % 3;
    if (skipped > len) skipped = len;
    return {skipped, (len - skipped) / 3 * 3};
}

// The text of `count` bytes, a multiple of three, at `at`: exactly its
// characters, no terminator.
void writeGroups(char* at, const unsigned char* bytes, int count)
{
    if (count == 0) return;
    const tcore_bytes piece{bytes, count};
    tcore_base64_encodePieces(at, &piece, 1, count / 3 * 4);
}

}  // namespace

tcore_base64_middle* tcore_base64_startMiddle(char* out, int offset, const unsigned char* data, int len)
{
    if (out == nullptr || data == nullptr || offset < 0 || len < 0) return nullptr;
    if (tcore_base64_textLength(static_cast<int64_t>(offset) + len) > INT32_MAX) return nullptr;
    auto* job = new tcore_base64_middle;
    job->offset = offset;
    job->data = data;
    job->len = len;
    const Groups groups = groupsOf(offset, len);
    char* at = out + (static_cast<int64_t>(offset) + groups.skipped) / 3 * 4;
    const unsigned char* from = data + groups.skipped;
    const int count = groups.written;
    try {
        job->worker = std::thread([at, from, count] { writeGroups(at, from, count); });
    } catch (const std::system_error&) {
        writeGroups(at, from, count);
    }
    return job;
}

void tcore_base64_dropMiddle(tcore_base64_middle* job)
{
    if (job == nullptr) return;
    if (job->worker.joinable()) job->worker.join();
    delete job;
}

int tcore_base64_finishAround(tcore_base64_middle* job, char* out, tcore_bytes before, tcore_bytes middle,
                              tcore_bytes after, int outCapacity)
{
    const bool placed = job != nullptr && before.len == job->offset && middle.data == job->data &&
                        middle.len == job->len;
    const Groups groups = placed ? groupsOf(job->offset, job->len) : Groups{0, 0};
    const int skipped = groups.skipped, written = groups.written;
    tcore_base64_dropMiddle(job);
    const tcore_bytes whole[] = {before, middle, after};
    if (!placed || out == nullptr || written == 0) return tcore_base64_encodePieces(out, whole, 3, outCapacity);

    // Before the middle: `before` and the bytes that complete its last
    // group, a whole number of groups.
    const int64_t headText = (static_cast<int64_t>(before.len) + skipped) / 3 * 4;
    const int64_t restAt = headText + written / 3 * 4;
    if (restAt > outCapacity) return tcore_base64_encodePieces(out, whole, 3, outCapacity);
    const tcore_bytes head[] = {before, {middle.data, skipped}};
    int result = tcore_base64_encodePieces(out, head, 2, static_cast<int>(headText));
    if (result < 0) return result;
    // After it: the middle's last bytes, short of a group, and `after`,
    // with the padding and the zeros to the end of the buffer.
    const tcore_bytes rest[] = {{middle.data + skipped + written, middle.len - skipped - written}, after};
    result = tcore_base64_encodePieces(out + restAt, rest, 2, outCapacity - static_cast<int>(restAt));
    return result < 0 ? result : static_cast<int>(restAt) + result;
}
