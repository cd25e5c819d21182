// unset!: the value of nothing (the result of an expression that gives none
// of its own).
//
//   parent   none
//   header   TYPE_UNSET; the payload words are ignored
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace qor {

extern Cell* const unset_value;   // the global unset cell; never written after start-up

namespace unset {

void init();   // writes the global cell, registers unset!

inline void set(Cell* cell) { cell->header = TYPE_UNSET; }   // the whole header: flags cleared

void  set_result();              // the result slot becomes unset
Cell* new_in_block(Cell* block); // an unset at the block's tail
Cell* push_new();                // an unset pushed on the argument stack

}  // namespace unset

Cell*   unset_make(Cell* prototype, Cell* spec);   // make and to: always unset
int32_t unset_form(Cell* value, Cell* out, Cell* part, int32_t limit);
int32_t unset_mold(Cell* value, Cell* out, bool only, bool all, bool flat, Cell* part,
                   int32_t limit, int32_t indent);
int32_t unset_compare(Cell* value1, Cell* value2, int32_t op);

// The comparison shared by unset! and none!: values of one type are all
// equal under the equality and sort ops; anything else is not comparable.
int32_t compare_unit_values(Cell* value1, Cell* value2, int32_t op);

}  // namespace qor
