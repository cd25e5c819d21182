// typeset!: a set of datatypes held whole in one cell.
//
//   parent    none
//   words 1-3 the type-bit map, 96 bits, one per type id 0..95: the bit of
//             id t is byte t >> 3 (byte 0 the lowest of word 1), mask
//             0x80 >> (t & 7)
//
// Bit 0 has no type; bits above the highest registered id are carried along
// but never shown.  No operation changes its argument: each makes a cell.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace qor {

namespace typeset {

void init();   // registers typeset!

// Set types among ids 1..the highest registered.
uint32_t count_types(const Cell* ts);

// The logic and set operations on the argument stack: the first operand at
// the arguments base, the second (a typeset! or datatype!) in the next cell;
// the result replaces the first.  Op codes of MathOp (5-7 and 8-12).
void do_bitwise(int32_t op);

}  // namespace typeset

// Action entries.
Cell*   typeset_make(Cell* prototype, Cell* spec);   // make and to
int32_t typeset_form(Cell* value, Cell* out, Cell* part, int32_t limit);
int32_t typeset_mold(Cell* value, Cell* out, bool only, bool all, bool flat, Cell* part,
                     int32_t limit, int32_t indent);
int32_t typeset_compare(Cell* value1, Cell* value2, int32_t op);
Cell*   typeset_complement(Cell* value);
Cell*   typeset_find(Cell* series, Cell* value, Cell* part, bool only, bool case_sensitive,
                     bool same, bool any, Cell* with, Cell* skip, bool last, bool reverse,
                     bool tail, bool match);

}  // namespace qor
