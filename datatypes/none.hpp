// none!: the "no value" value.
//
//   parent   none
//   header   TYPE_NONE; the payload words are ignored
//
// Besides its text forms and comparison, none! answers the series actions
// clear, find, length?, remove, select and take with none, so the result of
// a failed find or select can be passed straight on.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace qor {

extern Cell* const none_value;   // the global none cell; never written after start-up

namespace none {

void init();   // writes the global cell, registers none!

inline void set(Cell* cell) { cell->header = TYPE_NONE; }   // the whole header: flags cleared

void  set_result();              // the result slot becomes none
Cell* new_in_block(Cell* block); // a none at the block's tail
Cell* push_new();                // a none pushed on the argument stack

}  // namespace none

Cell*   none_make(Cell* prototype, Cell* spec);   // make and to: always none
int32_t none_form(Cell* value, Cell* out, Cell* part, int32_t limit);
int32_t none_mold(Cell* value, Cell* out, bool only, bool all, bool flat, Cell* part,
                  int32_t limit, int32_t indent);
int32_t none_compare(Cell* value1, Cell* value2, int32_t op);
Cell*   none_clear(Cell* series);
Cell*   none_find(Cell* series, Cell* value, Cell* part, bool only, bool case_sensitive, bool same,
                  bool any, Cell* with, Cell* skip, bool last, bool reverse, bool tail, bool match);
int32_t none_length_q(Cell* series);   // -1: no length
Cell*   none_remove(Cell* series, Cell* part, Cell* key);
Cell*   none_select(Cell* series, Cell* value, Cell* part, bool only, bool case_sensitive,
                    bool same, bool any, Cell* with, Cell* skip, bool last, bool reverse);
Cell*   none_take(Cell* series, Cell* part, bool deep, bool last);

}  // namespace qor
