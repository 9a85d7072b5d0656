#include "tasn1_item.h"

#include <cstring>

#include "tcore_errors.h"
#include "tcore_mem.h"

namespace {

constexpr int kInitialCapacity = 16;

int lengthSize(int value) { return tasn1_len_encode(nullptr, 0, value); }

// 1 + len(L) + L, refused when it would not fit in 32 bits: a caller's
// length near the limit must not wrap into a small buffer.
int wrappedSize(int contentLen)
{
    if (contentLen < 0) return TCORE_ERR_PARAM;
    int64_t size = 1 + static_cast<int64_t>(lengthSize(contentLen)) + contentLen;
    return size > INT32_MAX ? TCORE_ERR_PARAM : static_cast<int>(size);
}

// Identifier, length and contents at `out`; returns the bytes written.
int writeElement(unsigned char* out, unsigned char identifier, const unsigned char* data, int len)
{
    out[0] = identifier;
    int n = 1 + tasn1_len_encode(out + 1, 5, len);
    if (data != nullptr && len > 0) std::memcpy(out + n, data, static_cast<size_t>(len));
    return n + len;
}

}  // namespace

int tasn1_len_encode(unsigned char* out, int cap, int value)
{
    if (value < 0) return TCORE_ERR_PARAM;
    int size = 1;
    if (value >= 128) {
        int bytes = 1;
        while (bytes < 4 && (static_cast<uint32_t>(value) >> (8 * bytes)) != 0) ++bytes;
        size = 1 + bytes;
    }
    if (out == nullptr || cap <= 0) return size;
    if (cap < size) return TCORE_ERR_BUFSIZE;
    if (size == 1) {
        out[0] = static_cast<unsigned char>(value);
    } else {
        int bytes = size - 1;
        out[0] = static_cast<unsigned char>(0x80 + bytes);
        for (int i = 0; i < bytes; ++i) out[1 + i] = static_cast<unsigned char>(value >> (8 * (bytes - 1 - i)));
    }
    return size;
}

int tasn1_item_size(const tasn1_item* item)
{
    if (item == nullptr || item->len < 0) return TCORE_ERR_PARAM;
    // Implicit tagging of an empty pre-encoded element has its own code.
    if (item->data == nullptr && item->len > 0) return TCORE_ERR_PARAM;
    switch (item->tagMode) {
    case TASN1_TAG_PLAIN: return item->isEncoded ? item->len : wrappedSize(item->len);
    case TASN1_TAG_EXPLICIT: {
        if (item->isEncoded) return wrappedSize(item->len);
        int inner = wrappedSize(item->len);
        return inner < 0 ? inner : wrappedSize(inner);
    }
    case TASN1_TAG_IMPLICIT:
        if (item->isEncoded) return (item->data == nullptr || item->len <= 0) ? TASN1_ERR_ITEM : item->len;
        return wrappedSize(item->len);
    default: return TASN1_ERR_ITEM;
    }
}

int tasn1_item_encode(const tasn1_item* item, unsigned char* buf, int cap)
{
    if (item == nullptr || buf == nullptr || cap <= 0) return TCORE_ERR_PARAM;
    int size = tasn1_item_size(item);
    if (size < 0) return size;
    if (cap < size) return TCORE_ERR_BUFSIZE;
    const auto context = static_cast<unsigned char>(TASN1_CONTEXT + item->ctxTag);
    switch (item->tagMode) {
    case TASN1_TAG_PLAIN:
        if (!item->isEncoded) return writeElement(buf, item->tag, item->data, item->len);
        if (item->len > 0) std::memcpy(buf, item->data, static_cast<size_t>(item->len));
        return item->len;
    case TASN1_TAG_EXPLICIT: {
        if (item->isEncoded) return writeElement(buf, context, item->data, item->len);
        int inner = wrappedSize(item->len);
        buf[0] = context;
        int n = 1 + tasn1_len_encode(buf + 1, 5, inner);
        return n + writeElement(buf + n, item->tag, item->data, item->len);
    }
    default:  // implicit: the identifier is replaced, length and contents stay
        if (!item->isEncoded) return writeElement(buf, context, item->data, item->len);
        std::memcpy(buf, item->data, static_cast<size_t>(item->len));
        buf[0] = context;
        return item->len;
    }
}

void tasn1_item_free(tasn1_item* item)
{
    if (item == nullptr) return;
    tcore_free(const_cast<unsigned char*>(item->data));
    tcore_free(item);
}

tasn1_seq* tasn1_seq_new(int isSet)
{
    auto* seq = static_cast<tasn1_seq*>(tcore_zalloc(sizeof(tasn1_seq)));
    seq->capacity = kInitialCapacity;
    seq->items = static_cast<tasn1_item**>(tcore_zalloc(sizeof(tasn1_item*) * kInitialCapacity));
    seq->isSet = isSet;
    return seq;
}

int tasn1_seq_add(tasn1_seq* seq, const tasn1_item* item)
{
    if (seq == nullptr || item == nullptr) return TCORE_ERR_PARAM;
    if (seq->count == seq->capacity) {
        auto* grown = static_cast<tasn1_item**>(tcore_zalloc(sizeof(tasn1_item*) * 2 * seq->capacity));
        std::memcpy(grown, seq->items, sizeof(tasn1_item*) * seq->capacity);
        tcore_free(seq->items);
        seq->items = grown;
        seq->capacity *= 2;
    }
    auto* copy = static_cast<tasn1_item*>(tcore_zalloc(sizeof(tasn1_item)));
    *copy = *item;
    seq->items[seq->count++] = copy;
    return 0;
}

int tasn1_seq_size(tasn1_seq* seq)
{
    if (seq == nullptr) return 0;
    if (seq->contentLen == 0) {
        int64_t total = 0;
        for (int i = 0; i < seq->count; ++i) {
            int size = tasn1_item_size(seq->items[i]);
            if (size < 0) return size;
            total += size;
            if (total > INT32_MAX) return TCORE_ERR_PARAM;
        }
        seq->contentLen = static_cast<int32_t>(total);
    }
    return wrappedSize(seq->contentLen);
}

int tasn1_seq_encode(tasn1_seq* seq, unsigned char* buf, int cap)
{
    if (seq == nullptr || buf == nullptr || cap <= 0) return TCORE_ERR_PARAM;
    int size = tasn1_seq_size(seq);
    if (size < 0) return size;
    if (cap < size) return TCORE_ERR_PARAM;
    std::memset(buf, 0, static_cast<size_t>(cap));
    buf[0] = seq->isSet ? TASN1_SET : TASN1_SEQUENCE;
    int pos = 1 + tasn1_len_encode(buf + 1, cap - 1, seq->contentLen);
    for (int i = 0; i < seq->count; ++i) {
        int n = tasn1_item_encode(seq->items[i], buf + pos, cap - pos);
        if (n < 0) return n;
        pos += n;
    }
    return pos;
}

tasn1_item* tasn1_seq_toItem(tasn1_seq* seq)
{
    if (seq == nullptr) return nullptr;
    int size = tasn1_seq_size(seq);
    if (size <= 0) return nullptr;
    auto* buffer = static_cast<unsigned char*>(tcore_zalloc(static_cast<size_t>(size)));
    auto* item = static_cast<tasn1_item*>(tcore_zalloc(sizeof(tasn1_item)));
    item->data = buffer;
    item->isEncoded = 1;
    item->tagMode = TASN1_TAG_PLAIN;
    item->tag = seq->isSet ? TASN1_SET : TASN1_SEQUENCE;
    int n = tasn1_seq_encode(seq, buffer, size);
    if (n < 0) {
        tasn1_item_free(item);
        return nullptr;
    }
    item->len = n;
    return item;
}

void tasn1_seq_free(tasn1_seq* seq)
{
    if (seq == nullptr) return;
    for (int i = 0; i < seq->count; ++i) tcore_free(seq->items[i]);
    tcore_free(seq->items);
    tcore_free(seq);
}
