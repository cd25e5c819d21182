// handle!: an opaque reference to an operating-system object (a window, a
// monitor, a font).  The language can only print and compare it.
//
//   header TYPE_HANDLE, word 1 = class (int32), word 2 = the handle value,
//   word 3 = -1
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace qor::handle {

// Classes, named only by mold/all.
enum Class : int32_t {
    CLASS_NONE = 0, CLASS_FD = 1, CLASS_MONITOR = 2, CLASS_WINDOW = 3, CLASS_FONT = 4,
    CLASS_RICH_TEXT = 5,
};

void init();   // registers handle!

inline Cell make(uint32_t value, int32_t cls) {
    return Cell{TYPE_HANDLE, uint32_t(cls), value, 0xFFFFFFFFu};
}
inline void init_cell(Cell* cell, uint32_t value, int32_t cls) { *cell = make(value, cls); }
inline uint32_t value_of(const Cell* h) { return h->data2; }
inline int32_t class_of(const Cell* h) { return int32_t(h->data1); }

Cell* push_new(uint32_t value, int32_t cls);   // on the argument stack
Cell* push_null();
void new_in_block(Cell* block, uint32_t value, int32_t cls);

}  // namespace qor::handle
