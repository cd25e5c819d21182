// datatype!: values that name a datatype.
//
//   parent   none
//   header   TYPE_DATATYPE
//   word 1   the type id it names
//   words 2-3 unused
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace qor {

namespace datatype {

void init();   // registers datatype! (form, mold, compare)

inline void set(Cell* cell, uint32_t type) { *cell = Cell{TYPE_DATATYPE, type, 0, 0}; }

Cell* new_in_block(Cell* block, uint32_t type);   // a datatype! at the block's tail
Cell* push_new(uint32_t type);                    // a datatype! pushed on the argument stack

}  // namespace datatype

int32_t datatype_form(Cell* value, Cell* out, Cell* part, int32_t limit);
int32_t datatype_mold(Cell* value, Cell* out, bool only, bool all, bool flat, Cell* part,
                      int32_t limit, int32_t indent);
int32_t datatype_compare(Cell* value1, Cell* value2, int32_t op);

}  // namespace qor
