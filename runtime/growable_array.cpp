// Growable arrays over series buffers.
#include "runtime/growable_array.hpp"

#include "runtime/series.hpp"

#include <cstring>

namespace qor::array {

namespace {

SeriesBuffer* buf(Node node) { return buffer_of(node); }

uint32_t unit_of(SeriesBuffer* s) { return s->unit() ? s->unit() : 1; }

// Address of the int32 element at a 1-based position, or null outside.
uint8_t* int32_at(Node node, uint32_t position) {
    SeriesBuffer* s = buf(node);
    if (position == 0 || uint64_t(position) * 4 > s->byte_length()) return nullptr;
    return s->head + (position - 1) * 4;
}

}  // namespace

Node make(uint32_t count, uint32_t width) {
    if (width == 0) width = 1;
    Node node = memory::alloc_bytes(memory::checked_mul(count, width));
    SeriesBuffer* s = buf(node);
    s->flags = (s->flags & ~SERIES_UNIT_MASK) | (width & SERIES_UNIT_MASK);
    return node;
}

uint32_t length(Node node) { return buf(node)->byte_length() / unit_of(buf(node)); }

void clear(Node node) { buf(node)->tail = buf(node)->head; }

void set_tail(Node node, uint32_t position) {
    SeriesBuffer* s = buf(node);
    uint64_t bytes = position ? uint64_t(position - 1) * unit_of(s) : 0;
    uint64_t room = uint64_t(s->data_end() - s->head);
    s->tail = s->head + (bytes > room ? room : bytes);
}

Node copy(Node node) { return memory::clone_series(buf(node)); }

uint32_t flags(Node node) { return buf(node)->flags; }

void append_byte(Node node, uint8_t byte) { *series_buffer::alloc_tail_bytes(buf(node), 1) = byte; }

uint8_t pick_byte(Node node, uint32_t position) {
    SeriesBuffer* s = buf(node);
    if (position == 0 || position > s->byte_length()) return 0;
    return s->head[position - 1];
}

void append_bytes(Node node, const void* source, uint32_t n) {
    uint8_t* at = series_buffer::alloc_tail_bytes(buf(node), n);
    if (n) std::memmove(at, source, n);
}

void append_int32(Node node, int32_t value) {
    std::memcpy(series_buffer::alloc_tail_bytes(buf(node), 4), &value, 4);
}

void append_int32_node(uint32_t* node_slot, int32_t value) {
    append_int32(reinterpret_cast<Node>(*node_slot), value);
}

void insert_int32(Node node, int32_t value, uint32_t index) {
    SeriesBuffer* s = buf(node);
    if (s->data_end() - s->tail < 4) s = memory::expand_series(s, s->capacity ? 0 : 16);
    uint32_t count = s->byte_length() / 4;
    if (index > count) index = count;
    uint8_t* at = s->head + index * 4;
    std::memmove(at + 4, at, size_t(s->tail - at));
    std::memcpy(at, &value, 4);
    s->tail += 4;
}

int32_t find_int32(Node node, int32_t value) {
    SeriesBuffer* s = buf(node);
    for (uint8_t* p = s->head; p + 4 <= s->tail; p += 4) {
        int32_t v;
        std::memcpy(&v, p, 4);
        if (v == value) return int32_t(p - s->head);
    }
    return -1;
}

int32_t find_pointer(Node node, const void* pointer) {
    return find_int32(node, int32_t(reinterpret_cast<uint32_t>(pointer)));
}

int32_t pick_int32(Node node, uint32_t position) {
    uint8_t* at = int32_at(node, position);
    int32_t v = 0;
    if (at) std::memcpy(&v, at, 4);
    return v;
}

int32_t pick(Node node, uint32_t position) { return pick_int32(node, position); }

void poke(Node node, uint32_t position, int32_t value) {
    if (uint8_t* at = int32_at(node, position)) std::memcpy(at, &value, 4);
}

void remove_bytes(Node node, uint32_t offset, uint32_t n) {
    SeriesBuffer* s = buf(node);
    uint32_t length = s->byte_length();
    if (offset >= length) return;
    if (n > length - offset) n = length - offset;
    std::memmove(s->head + offset, s->head + offset + n, length - offset - n);
    s->tail -= n;
}

void remove_pointer(Node node, const void* pointer) {
    int32_t at = find_pointer(node, pointer);
    if (at >= 0) remove_bytes(node, uint32_t(at), 4);
}

}  // namespace qor::array
