// A base64 text whose middle bytes are known before the bytes around them:
// the middle is written on another thread while the caller works the rest
// out. A signature's content is encoded this way while the signature over
// it is made, so a large signature costs about its hashing alone.
#pragma once

#include "tcore_codec.h"

struct tcore_base64_middle;

// Starts writing into `out` the text of `len` bytes of `data` that will
// stand `offset` bytes into the whole, once the `offset` bytes before them
// are known. Only the groups of three that lie wholly in `data` are
// written here, each at its place in the whole text, so `out` must have
// room for the text up to the end of `data` at least. The caller keeps
// `data` and `out` and writes nothing into `out` until it finishes or drops
// the job. Where no thread can be started, the middle is written before
// this returns. Null for a whole too long for a 32-bit text length, for
// which nothing is written.
tcore_base64_middle* tcore_base64_startMiddle(char* out, int offset, const unsigned char* data, int len);

// Waits for the middle, writes the text of `before`, the middle's data and
// `after` around it, and frees the job. The result and buffer rules are
// those of tcore_base64_encodePieces over the three. Where `before` does not
// have the length the job was started with, or the job is null, the whole
// text is written here.
int tcore_base64_finishAround(tcore_base64_middle* job, char* out, tcore_bytes before, tcore_bytes middle,
                              tcore_bytes after, int outCapacity);

// Waits for the middle and frees the job, writing nothing more.
void tcore_base64_dropMiddle(tcore_base64_middle* job);
