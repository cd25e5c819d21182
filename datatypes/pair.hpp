// pair!: two signed 32-bit integers x and y, written AxB.  Arithmetic works
// component by component with the integer kernel and lands in point2D!
// when a float factor or divisor is involved or a component overflows.
//
//   header TYPE_PAIR, word 2 = x, word 3 = y (int32)
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace qor::pair {

void init();   // registers pair!

inline Cell make(int32_t x, int32_t y) { return Cell{TYPE_PAIR, 0, uint32_t(x), uint32_t(y)}; }
inline int32_t x_of(const Cell* p) { return int32_t(p->data2); }
inline int32_t y_of(const Cell* p) { return int32_t(p->data3); }

// The literal decoder (literal.hpp): two integers joined by "x".
uint32_t decode_literal(const uint8_t* start, const uint8_t* end, uint32_t seen, bool make, Cell* out);

}  // namespace qor::pair
