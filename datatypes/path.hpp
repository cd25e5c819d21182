// paren! (id 6, parent block!) and the four path kinds: path! (25, parent
// block!) and its variants lit-path! (26), set-path! (27) and get-path!
// (28), whose parent is path!.  They share the block storage (index, node
// of a 16-byte-unit buffer, word 3 = 0) and most block actions, and differ
// in their registration and their text.  A path's cells are its elements:
// a/b/1 holds the word a, the word b and the integer 1.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace qor {

namespace paren {
void init();                              // registers paren! (after block!)
Cell* push_retyped(Cell* cell);           // header becomes paren! (flags cleared); a copy is pushed
}  // namespace paren

namespace path {
void init();                              // registers path! then its three variants (after block!)
Cell* push_retyped(Cell* cell);           // header becomes path! (flags cleared); a copy is pushed
// The cell becomes an empty path! with room for the capacity (below 1: 1).
Cell* init_cell(Cell* cell, int32_t capacity);
}  // namespace path

namespace lit_path {
Cell* push_retyped(Cell* cell);
}
namespace set_path {
Cell* push_retyped(Cell* cell);
}
namespace get_path {
Cell* push_retyped(Cell* cell);
}

Cell*   path_make(Cell* prototype, Cell* spec);
Cell*   path_to(Cell* prototype, Cell* spec);
int32_t path_form(Cell* value, Cell* out, Cell* part, int32_t limit);
int32_t path_mold(Cell* value, Cell* out, bool only, bool all, bool flat, Cell* part, int32_t limit,
                  int32_t indent);
int32_t lit_path_mold(Cell* value, Cell* out, bool only, bool all, bool flat, Cell* part, int32_t limit,
                      int32_t indent);
int32_t set_path_mold(Cell* value, Cell* out, bool only, bool all, bool flat, Cell* part, int32_t limit,
                      int32_t indent);
int32_t get_path_mold(Cell* value, Cell* out, bool only, bool all, bool flat, Cell* part, int32_t limit,
                      int32_t indent);
Cell*   path_copy(Cell* value, Cell* result, Cell* part, bool deep, Cell* types);
int32_t paren_mold(Cell* value, Cell* out, bool only, bool all, bool flat, Cell* part, int32_t limit,
                   int32_t indent);

}  // namespace qor
