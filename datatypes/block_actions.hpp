// The action implementations of block! (id 5, parent series!), which
// paren!, the path kinds and hash! inherit; every routine also handles their
// type bytes and keeps a hash!'s index in step.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace qor::block {

// The element writer shared by every any-block mold: the cells from the
// index, with new-line markers and indentation; answers the remaining limit.
int32_t mold_cells(Cell* block, Cell* out, bool only, bool all, bool flat, Cell* part, int32_t limit,
                   int32_t indent);
// The cell-by-cell comparison shared by every any-block: -1, 0, 1 (or -2
// from an element pair that is not comparable).
int32_t compare_cells(Cell* value1, Cell* value2, int32_t op);

// The comparison callbacks handed to the sorts (runtime/sort.hpp): opt1 is
// the op code, or the address of the comparator function's cell; opt2 the
// flags (bit 0 /reverse, bit 1 /all, bits 2.. the record size with /all or
// the compared offset within the record).
int32_t sort_compare_records(const void* a, const void* b, intptr_t op, intptr_t flags);
int32_t sort_call_comparator(const void* a, const void* b, intptr_t function, intptr_t flags);

// unique (8), union (9), intersect (10), exclude (11), difference (12) on
// any-block operands at the arguments base (and the slot after it); the
// result replaces the first argument, at index 0.
void set_operation(bool case_sensitive, Cell* skip, int32_t op);

// Incremented around the molding of each block element.
extern int32_t mold_depth;

}  // namespace qor::block

namespace qor {

Cell*   block_make(Cell* prototype, Cell* spec);
Cell*   block_to(Cell* prototype, Cell* spec);
int32_t block_form(Cell* value, Cell* out, Cell* part, int32_t limit);
int32_t block_mold(Cell* value, Cell* out, bool only, bool all, bool flat, Cell* part, int32_t limit,
                   int32_t indent);
Cell*   block_eval_path(Cell* value, Cell* element, Cell* new_value, Cell* path, Cell* parent, Cell* previous,
                        int32_t step, bool case_sensitive, uint32_t reserved, bool last, bool notify);
int32_t block_compare(Cell* value1, Cell* value2, int32_t op);
Cell*   block_insert(Cell* series, Cell* value, int32_t part, bool only, int32_t dup, bool append);
Cell*   block_change(Cell* series, Cell* value, int32_t part, bool only, int32_t dup);
Cell*   block_copy(Cell* value, Cell* result, Cell* part, bool deep, Cell* types);
Cell*   block_find(Cell* series, Cell* value, Cell* part, bool only, bool case_sensitive, bool same, bool any,
                   Cell* with, Cell* skip, bool last, bool reverse, bool tail, bool match);
Cell*   block_put(Cell* series, Cell* key, Cell* value, bool case_sensitive);
Cell*   block_select(Cell* series, Cell* value, Cell* part, bool only, bool case_sensitive, bool same, bool any,
                     Cell* with, Cell* skip, bool last, bool reverse);
Cell*   block_sort(Cell* series, bool case_sensitive, Cell* skip, Cell* comparator, Cell* part, bool all,
                   bool reverse, bool stable);
Cell*   block_swap(Cell* series1, Cell* series2);
Cell*   block_take(Cell* series, Cell* part, bool deep, bool last);
Cell*   block_trim(Cell* series, bool head, bool tail, bool auto_, bool lines, bool all, Cell* with);

}  // namespace qor
