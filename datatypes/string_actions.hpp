// The actions of string!, shared by the text types that inherit them
// (file!, url!, tag!, email!, ref!) and, where those do not override them,
// by binary! and vector!.
//
// `string_actions::init` registers string! (after series!): its own entries
// below, the position and editing entries of series! inherited.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace qor {

namespace string_actions {

void init();   // registers string!

// The set operations on text (unique, union, intersect, exclude,
// difference: SET_UNIQUE..SET_DIFFERENCE); the result is a new string in
// `result`.  `skip` is null when /skip is absent.
Cell* set_operation(Cell* first, Cell* second, bool case_sensitive, Cell* skip, int32_t op,
                    Cell* result);

// Forms a value into `out` through its type's form entry (strings append
// their text).  Answers the characters appended.
uint32_t form_into(Cell* out, Cell* value);

// The mold of a string value from its index; `part` limits the characters
// when the limit is not negative.
int32_t mold_text(Cell* value, Cell* out, bool all, bool part, int32_t limit);

}  // namespace string_actions

Cell*   string_make(Cell* prototype, Cell* spec);
Cell*   string_to(Cell* prototype, Cell* spec);
int32_t string_form(Cell* value, Cell* out, Cell* part, int32_t limit);
int32_t string_mold(Cell* value, Cell* out, bool only, bool all, bool flat, Cell* part,
                    int32_t limit, int32_t indent);
Cell*   string_eval_path(Cell* value, Cell* element, Cell* new_value, Cell* path, Cell* parent,
                         Cell* previous, int32_t step, bool case_sensitive, uint32_t reserved,
                         bool last, bool notify);
int32_t string_compare(Cell* value1, Cell* value2, int32_t op);
Cell*   string_insert(Cell* series, Cell* value, int32_t part, bool only, int32_t dup, bool append);
Cell*   string_append(Cell* series, Cell* value, int32_t part, bool only, int32_t dup, bool append);
Cell*   string_change(Cell* series, Cell* value, int32_t part, bool only, int32_t dup);
Cell*   string_find(Cell* series, Cell* value, Cell* part, bool only, bool case_sensitive, bool same,
                    bool any, Cell* with, Cell* skip, bool last, bool reverse, bool tail, bool match);
Cell*   string_select(Cell* series, Cell* value, Cell* part, bool only, bool case_sensitive,
                      bool same, bool any, Cell* with, Cell* skip, bool last, bool reverse);
Cell*   string_sort(Cell* series, bool case_sensitive, Cell* skip, Cell* comparator, Cell* part,
                    bool all, bool reverse, bool stable);
Cell*   string_swap(Cell* a, Cell* b);
Cell*   string_take(Cell* series, Cell* part, bool deep, bool last);
Cell*   string_trim(Cell* series, bool head, bool tail, bool auto_, bool lines, bool all,
                    Cell* with);

}  // namespace qor
