// triple!: three signed 32-bit integers in words 1, 2 and 3.
//
//   parent   none
//   header   TYPE_TRIPLE
//
// Only the parse engine makes triples, writing them straight into cells of
// its internal stacks; the type has just its two text actions.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace qor {

namespace triple {
void init();   // registers triple! (form and mold)
inline Cell make(int32_t a, int32_t b, int32_t c) { return Cell{TYPE_TRIPLE, uint32_t(a), uint32_t(b), uint32_t(c)}; }
}  // namespace triple

// form and mold (one behaviour): "make triple! [a b c]".
int32_t triple_form(Cell* value, Cell* out, Cell* part, int32_t limit);
int32_t triple_mold(Cell* value, Cell* out, bool only, bool all, bool flat, Cell* part, int32_t limit,
                    int32_t indent);

}  // namespace qor
