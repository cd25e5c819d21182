// MurmurHash3 x86 32-bit and the value hashes built on it.
#include "datatypes/murmur3.hpp"

#include "datatypes/stack.hpp"
#include "datatypes/string.hpp"
#include "datatypes/symbol.hpp"
#include "runtime/case_folding.hpp"
#include "runtime/heap.hpp"
#include "runtime/memory.hpp"

#include <cstring>

namespace qor::hashtable {

uint32_t hash_seed = HASH_SEED;

namespace {

constexpr uint32_t C1 = 0xCC9E2D51u;
constexpr uint32_t C2 = 0x1B873593u;

constexpr uint32_t rotl(uint32_t x, int r) { return (x << r) | (x >> (32 - r)); }

inline uint32_t scramble(uint32_t k) {
    k *= C1;
    k = rotl(k, 15);
    return k * C2;
}

inline uint32_t mix_block(uint32_t h, uint32_t k) {
    h ^= scramble(k);
    h = rotl(h, 13);
    return h * 5 + 0xE6546B64u;
}

inline uint32_t read_le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// The lower-cased copy of a spelling while it is hashed: 256 bytes on the
// tracked heap, replaced by one of exactly the spelling's length when a
// longer spelling comes.
uint8_t* scratch = nullptr;
uint32_t scratch_size = 0;

uint8_t* scratch_for(uint32_t length) {
    if (!scratch || length > scratch_size) {
        uint32_t size = length > 256 ? length : 256;
        heap::free(scratch);
        scratch = static_cast<uint8_t*>(heap::alloc(size));
        scratch_size = size;
    }
    return scratch;
}

uint32_t hash_cell_words(const Cell* c, uint32_t first_word, uint32_t bytes) {
    return hash_bytes(reinterpret_cast<const uint32_t*>(c) + first_word, bytes);
}

}  // namespace

uint32_t murmur3_32(const void* bytes, uint32_t length, uint32_t seed) {
    const uint8_t* p = static_cast<const uint8_t*>(bytes);
    uint32_t h = seed;
    uint32_t blocks = length / 4;
    for (uint32_t i = 0; i < blocks; i++) h = mix_block(h, read_le32(p + i * 4));
    const uint8_t* tail = p + blocks * 4;
    uint32_t k = 0;
    switch (length & 3u) {
    case 3: k ^= uint32_t(tail[2]) << 16; [[fallthrough]];
    case 2: k ^= uint32_t(tail[1]) << 8; [[fallthrough]];
    case 1:
        k ^= tail[0];
        h ^= scramble(k);
    }
    h ^= length;
    return hash_pointer(h);
}

uint32_t hash_bytes(const void* bytes, uint32_t length) { return murmur3_32(bytes, length, hash_seed); }

uint32_t hash_string(const Cell* string, bool strict) {
    uint32_t h = hash_seed;
    uint32_t count = 0;
    Node node = cell_node(string);
    if (node && *node) {
        SeriesBuffer* s = buffer_of(node);
        uint32_t unit = s->unit();
        if (unit == 1 || unit == 2 || unit == 4) {
            int32_t index = int32_t(string->data1);
            uint32_t length = s->byte_length() >> (unit >> 1);   // unit 1, 2, 4: shift 0, 1, 2
            uint32_t from = index < 0 ? 0 : uint32_t(index);
            count = from < length ? length - from : 0;
            if (type_of(string) == TYPE_STRING_SLICE && int32_t(string->data3) >= 0 &&
                uint32_t(string->data3) < count)
                count = string->data3;
            const uint8_t* p = s->head + from * unit;
            if (unit == 1) {
                // One byte per character: the same mix of each, without the
                // width's test per character.
                const uint8_t* end = p + count;
                if (strict) {
                    for (; p < end; p++) h = mix_block(h, *p);
                } else {
                    for (; p < end; p++) {
                        uint32_t c = *p;
                        if (c < 0x80) c = c - 'a' < 26u ? c - 32 : c;
                        else c = case_::map_char(c, true);
                        h = mix_block(h, c);
                    }
                }
                h ^= count * 4;
                return hash_pointer(h);
            }
            for (uint32_t i = 0; i < count; i++, p += unit) {
                uint32_t c = unit == 1 ? *p : unit == 2 ? uint32_t(p[0] | p[1] << 8) : read_le32(p);
                if (!strict) {
                    // ASCII's upper case without the table's call.
                    if (c < 0x80) c = c - 'a' < 26u ? c - 32 : c;
                    else c = case_::map_char(c, true);
                }
                h = mix_block(h, c);
            }
        }
    }
    h ^= count * 4;
    return hash_pointer(h);
}

uint32_t hash_spelling(const uint8_t* bytes, uint32_t length) {
    uint8_t* copy = scratch_for(length);
    for (uint32_t i = 0; i < length; i++) {
        uint8_t b = bytes[i];
        copy[i] = (b >= 'A' && b <= 'Z') ? uint8_t(b | 0x20) : b;
    }
    return hash_bytes(copy, length);
}

uint32_t hash_symbol(const Cell* symbol) {
    SeriesBuffer* s = buffer_of(reinterpret_cast<Node>(symbol->data3));
    return hash_spelling(s->head, s->byte_length());
}

uint32_t hash_value(const Cell* value, bool strict) {
    switch (value->header & TYPE_MASK) {
    case TYPE_UNSET:
        return 0xFFFFFFFEu;
    case TYPE_NONE:
        return 0xFFFFFFFFu;
    case TYPE_DATATYPE: case TYPE_LOGIC: case TYPE_OBJECT: case TYPE_ERROR: case TYPE_PORT:
        return hash_pointer(value->data1);
    case TYPE_CHAR: case TYPE_INTEGER: case TYPE_MAP: case TYPE_HANDLE: case TYPE_EVENT:
        return hash_pointer(value->data2);
    case TYPE_NATIVE: case TYPE_ACTION:
        return hash_pointer(value->data3);
    case TYPE_WORD: case TYPE_SET_WORD: case TYPE_LIT_WORD: case TYPE_GET_WORD: case TYPE_REFINEMENT:
    case TYPE_ISSUE:
        return hash_pointer(uint32_t(symbol::resolve_alias(int32_t(value->data2))));
    case TYPE_SYMBOL:
        return hash_symbol(value);
    case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_TAG: case TYPE_EMAIL: case TYPE_REF:
    case TYPE_STRING_SLICE:
        return hash_string(value, strict);
    case TYPE_BINARY: {
        SeriesBuffer* s = buffer_of(cell_node(value));
        int32_t index = int32_t(value->data1);
        uint32_t length = s->byte_length();
        uint32_t from = index < 0 ? 0 : uint32_t(index);
        if (from > length) from = length;
        return hash_bytes(s->head + from, length - from);
    }
    case TYPE_FLOAT: case TYPE_PERCENT: case TYPE_TIME: case TYPE_PAIR:
        return hash_cell_words(value, 2, 8);
    case TYPE_POINT2D:
        return hash_cell_words(value, 1, 8);
    case TYPE_POINT3D: case TYPE_OP: case TYPE_FUNCTION: case TYPE_TRIPLE: case TYPE_TYPESET: case TYPE_DATE:
        return hash_cell_words(value, 1, 12);
    case TYPE_TUPLE: {
        // The length field has room for 15, the payload for 12 bytes.
        uint32_t n = (value->header >> TUPLE_SIZE_SHIFT) & 15u;
        return hash_cell_words(value, 1, n > 12 ? 12 : n);
    }
    case TYPE_BLOCK: case TYPE_PAREN: case TYPE_PATH: case TYPE_LIT_PATH: case TYPE_SET_PATH:
    case TYPE_GET_PATH: case TYPE_HASH: case TYPE_IMAGE:
        return hash_cell_words(value, 1, 8);
    case TYPE_MONEY: {
        // Only the sign flag takes part: the copy lives on the argument
        // stack for the duration, as every other transient value does.
        Cell* copy = stack::push(value);
        copy->header = (copy->header & (TYPE_MASK | FLAG_MONEY_SIGN));
        uint32_t h = hash_bytes(copy, sizeof(Cell));
        stack::pop(1);
        return h;
    }
    default:
        return 0;
    }
}

bool is_address_keyed(const Cell* value) {
    switch (value->header & TYPE_MASK) {
    case TYPE_BLOCK: case TYPE_PAREN: case TYPE_PATH: case TYPE_LIT_PATH: case TYPE_SET_PATH:
    case TYPE_GET_PATH: case TYPE_NATIVE: case TYPE_ACTION: case TYPE_OP: case TYPE_FUNCTION:
    case TYPE_OBJECT: case TYPE_ERROR: case TYPE_HASH: case TYPE_MAP: case TYPE_PORT: case TYPE_IMAGE:
    case TYPE_EVENT:
        return true;
    default:
        return false;
    }
}

uint32_t round_up_pow2(uint32_t n) {
    if (n == 0) return 0;
    n--;
    n |= n >> 1;
    n |= n >> 2;
    n |= n >> 4;
    n |= n >> 8;
    n |= n >> 16;
    return n + 1;
}

}  // namespace qor::hashtable
