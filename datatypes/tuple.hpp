// tuple!: 3 to 12 unsigned bytes written with dots (255.0.0, 1.2.3.4),
// held whole in one cell.
//
//   parent   none
//   header   TYPE_TUPLE | count << TUPLE_SIZE_SHIFT (count 3..12)
//   words 1-3 the bytes in order, byte 1 lowest in word 1; bytes past the
//            count are 0
//
// Arithmetic works byte by byte and saturates to 0..255.  A tuple never has
// fewer than 3 bytes: shorter input is padded with zeros.
#pragma once
#include <cstdint>
#include <cstring>

#include "runtime/cell.hpp"

namespace qor {

namespace tuple {

constexpr uint32_t MIN_COUNT = 3;
constexpr uint32_t MAX_COUNT = 12;
constexpr uint32_t COUNT_MASK = 0x00780000u;   // the count bits of the header
static_assert(COUNT_MASK == 15u << TUPLE_SIZE_SHIFT);

void init();   // registers tuple!

inline uint32_t count(const Cell* t) { return (t->header & COUNT_MASK) >> TUPLE_SIZE_SHIFT; }
// Sets the count, keeping the type byte and the other header flags.
inline void set_count(Cell* t, uint32_t n) {
    t->header = (t->header & ~COUNT_MASK) | (n << TUPLE_SIZE_SHIFT);
}
inline void get_bytes(const Cell* t, uint8_t out[MAX_COUNT]) { std::memcpy(out, &t->data1, MAX_COUNT); }
inline void put_bytes(Cell* t, const uint8_t in[MAX_COUNT]) { std::memcpy(&t->data1, in, MAX_COUNT); }

// A tuple of the first n bytes (n below 3 padded with zeros, above 12 cut).
Cell make(uint32_t n, const uint8_t* bytes);

// Pushes a tuple with count n and the 12 bytes given as three little-endian
// words; answers the cell.
Cell* push_new(uint32_t n, uint32_t word1, uint32_t word2, uint32_t word3);
// Pushes a tuple of the low bytes of n values (n below 3 padded with zeros).
Cell* from_bytes(uint32_t n, const uint32_t* values);
// Writes r.g.b into the cell, or r.g.b.a when a is not -1 (low bytes taken).
void from_rgba(Cell* cell, int32_t r, int32_t g, int32_t b, int32_t a);
bool all_zero_q(const Cell* t);

// The body of the arithmetic actions: left operand in the result slot, right
// operand the next argument cell; a number on the left is swapped over
// (subtract and divide refuse it).
void do_math(int32_t op);

// The literal decoder (literal.hpp): 3 to 12 numbers of 0 to 255 joined by ".".
uint32_t decode_literal(const uint8_t* start, const uint8_t* end, uint32_t seen, bool make, Cell* out);

}  // namespace tuple

// Action entries.
Cell*   tuple_to(Cell* prototype, Cell* spec);   // make and to
Cell*   tuple_random(Cell* value, bool seed, bool secure, bool only);
int32_t tuple_form(Cell* value, Cell* out, Cell* part, int32_t limit);
int32_t tuple_mold(Cell* value, Cell* out, bool only, bool all, bool flat, Cell* part,
                   int32_t limit, int32_t indent);
Cell*   tuple_eval_path(Cell* value, Cell* element, Cell* new_value, Cell* path, Cell* parent,
                        Cell* previous, int32_t step, bool case_sensitive, uint32_t reserved,
                        bool last, bool notify);
int32_t tuple_compare(Cell* value1, Cell* value2, int32_t op);
Cell*   tuple_complement(Cell* value);
int32_t tuple_length_q(Cell* value);
Cell*   tuple_pick(Cell* value, int32_t index);
Cell*   tuple_reverse(Cell* value, Cell* part, Cell* skip);

}  // namespace qor
