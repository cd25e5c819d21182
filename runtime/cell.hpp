// The value cell: four 32-bit words, copied by value.
//
//   header  bits 0-7 type id (1..54), bits 8-31 flags
//   word 1  payload, by type
//   word 2  payload, by type
//   word 3  payload, by type
//
// A series position is always (node, index): the buffer may move, the node
// stays.  Doubles (float!, percent!, time!, the time of a date!) occupy words
// 2-3; they are read and written with memcpy, never through a cast, since the
// cell is only 4-byte aligned.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "runtime/type_list.hpp"

namespace qor {

// Datatype ids, from the type list.  ORDER TYPE: the ids are also Qorbin
// record codes and typeset bit numbers; never renumber.
enum TypeId : uint8_t {
#define QOR_TYPE_ID(name, id, spelling, parent) TYPE_##name = id,
    QOR_TYPE_LIST(QOR_TYPE_ID)
#undef QOR_TYPE_ID
};
constexpr int TYPE_COUNT = 54;

namespace type_list_detail {
// The list runs 1..TYPE_COUNT without a gap.
constexpr bool ids_are_dense() {
    int expected = 1;
#define QOR_TYPE_ID(name, id, spelling, parent) \
    if (id != expected++) return false;
    QOR_TYPE_LIST(QOR_TYPE_ID)
#undef QOR_TYPE_ID
    return expected == TYPE_COUNT + 1;
}
}  // namespace type_list_detail
static_assert(type_list_detail::ids_are_dense(), "type ids run 1..54 in list order");
static_assert(TYPE_SERIES == 42 && TYPE_EVENT == 54);

// Header flag bits shared by several types.
constexpr uint32_t FLAG_NEW_LINE    = 0x40000000u;  // a line break precedes this value in a molded block
constexpr uint32_t FLAG_ASSIGNED    = 0x00002000u;  // object word slot has been assigned
constexpr uint32_t FLAG_MONEY_SIGN  = 0x00004000u;  // money! is negative
constexpr uint32_t TUPLE_SIZE_SHIFT = 19;           // tuple! byte count << 19
constexpr uint32_t TYPE_MASK        = 0xFFu;

// A node is a 32-bit slot holding the address of a series buffer.
using Node = uint32_t*;

struct Cell {
    uint32_t header;
    uint32_t data1;
    uint32_t data2;
    uint32_t data3;
};
static_assert(sizeof(Cell) == 16, "a cell is 16 bytes");
static_assert(offsetof(Cell, header) == 0 && offsetof(Cell, data1) == 4 &&
              offsetof(Cell, data2) == 8 && offsetof(Cell, data3) == 12);
static_assert(sizeof(void*) == 4, "Qor is a 32-bit system");

inline TypeId type_of(const Cell* c) { return TypeId(c->header & TYPE_MASK); }

// Doubles live in words 2-3.
inline double cell_float(const Cell* c) {
    double d;
    std::memcpy(&d, &c->data2, sizeof d);
    return d;
}
inline void set_cell_float(Cell* c, double d) { std::memcpy(&c->data2, &d, sizeof d); }

// Type groups tested on the type byte.
inline bool is_any_block(uint32_t t) {
    return t == TYPE_BLOCK || t == TYPE_PAREN || (t >= TYPE_PATH && t <= TYPE_GET_PATH) || t == TYPE_HASH;
}
inline bool is_any_path(uint32_t t) { return t >= TYPE_PATH && t <= TYPE_GET_PATH; }
inline bool is_any_string(uint32_t t) {
    return t == TYPE_STRING || t == TYPE_FILE || t == TYPE_URL || t == TYPE_TAG || t == TYPE_EMAIL ||
           t == TYPE_REF;
}
inline bool is_series(uint32_t t) {
    return is_any_block(t) || is_any_string(t) || t == TYPE_VECTOR || t == TYPE_BINARY || t == TYPE_IMAGE;
}
inline bool is_any_word(uint32_t t) { return t >= TYPE_WORD && t <= TYPE_GET_WORD; }

}  // namespace qor
