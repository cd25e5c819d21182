// bitset!: a growable set of non-negative integers, above all a set of
// characters (code points) for searching and parsing.
//
//   parent   none
//   word 2   the node of a unit-1 byte buffer; words 1 and 3 unused (a
//            bitset has no index)
//   buffer   SERIES_BITSET_NOT set: complemented, every bit at or beyond
//            the tail is a member
//
// Bit n is byte n >> 3 from the head, mask 0x80 >> (n & 7): most significant
// bit first, so code point 65 is mask 0x40 of byte 8.  The stored bytes hold
// membership directly in both kinds; the bytes past the tail hold the fill
// of the kind (0xFF complemented, 0 plain), and every move of the tail
// writes that fill first, so growing never has to guess.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace qor {

namespace bitset {

void init();   // registers bitset!

// Whether the value tests as a member: a char!, integer! or float! bit, a
// string!'s characters, or a block of these with ranges.  Other kinds raise
// script/invalid-arg.  May allocate (nothing grows in a test, but a bad
// value raises).
bool test(const Cell* bits, const Cell* value);

// The logic and set operations on the argument stack: the first operand at
// the arguments base, the second in the next cell; the result replaces the
// first.  Op codes of MathOp (5-7 and 8-12).  May allocate.
void do_bitwise(int32_t op);

// pick and poke by any index value (char!, integer!, float!, string!,
// block!): the pick and poke actions route bitsets here, since their slots
// carry only integer indexes.
Cell* pick_value(Cell* bits, Cell* index);
Cell* poke_value(Cell* bits, Cell* index, Cell* value);

}  // namespace bitset

// Action entries.
Cell*   bitset_make(Cell* prototype, Cell* spec);
Cell*   bitset_to(Cell* prototype, Cell* spec);
int32_t bitset_form(Cell* value, Cell* out, Cell* part, int32_t limit);
int32_t bitset_mold(Cell* value, Cell* out, bool only, bool all, bool flat, Cell* part,
                    int32_t limit, int32_t indent);
Cell*   bitset_eval_path(Cell* value, Cell* element, Cell* new_value, Cell* path, Cell* parent,
                         Cell* previous, int32_t step, bool case_sensitive, uint32_t reserved,
                         bool last, bool notify);
int32_t bitset_compare(Cell* value1, Cell* value2, int32_t op);
Cell*   bitset_complement(Cell* value);
Cell*   bitset_append(Cell* series, Cell* value, int32_t part, bool only, int32_t dup, bool append);
Cell*   bitset_clear(Cell* value);
Cell*   bitset_copy(Cell* value, Cell* result, Cell* part, bool deep, Cell* types);
Cell*   bitset_find(Cell* series, Cell* value, Cell* part, bool only, bool case_sensitive,
                    bool same, bool any, Cell* with, Cell* skip, bool last, bool reverse,
                    bool tail, bool match);
int32_t bitset_length_q(Cell* value);
Cell*   bitset_pick(Cell* value, int32_t index);
Cell*   bitset_poke(Cell* value, int32_t index, Cell* new_value);
Cell*   bitset_remove(Cell* value, Cell* part, Cell* key);

}  // namespace qor
