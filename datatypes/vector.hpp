// vector!: a packed series of numbers of one element type and width.
//
//   parent   string! (navigation, pick/poke, copy, find, sort ... come from
//            there and read elements through series::read_element)
//   word 1   head index in elements
//   word 2   node of the element buffer; its unit is the element width
//   word 3   the element datatype: char!, integer!, float! or percent!
//
//   element   widths (bits)  default  stored as
//   integer!  8 16 32        32       two's complement, read sign-extended
//   char!     8 16 32        32       the code point's low bits, read unsigned
//   float!    32 64          64       IEEE single or double
//   percent!  64             64       IEEE double (the fraction)
//
// Storing never range-checks: an integer is cut to the width, a double is
// rounded to single precision for 32-bit float elements.  Arithmetic with a
// scalar works in place from the index; arithmetic of two vectors makes a
// new one.  Integer element arithmetic wraps around in 32 bits.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace qor::vector {

void init();   // registers vector! (after string!)

// The default width in bytes of an element type (4 for integer!/char!, 8
// for float!/percent!).
uint32_t default_unit(uint32_t element_type);

// An empty vector with room for `count` elements of `unit` bytes; a byte
// size beyond the memory manager's limit raises internal/no-memory before
// anything is allocated.
Cell make_empty(uint32_t element_type, uint32_t unit, uint32_t count);

// Elements from the index (clamped) to the tail.
uint32_t length(const Cell* vector);

// Appends one number; raises script/invalid-type for a value that is not a
// char!, integer!, float! or percent!.  Integers and floats convert to the
// element type (a float into integer elements is truncated toward zero).
void append_value(Cell* vector, const Cell* value);
// Appends a 32-bit integer (the drawing backend's coordinates).
void append_int32(Cell* vector, int32_t n);

// Element `i` (from the head) as a double or as an integer.
double  read_float(const Cell* vector, uint32_t i);
int32_t read_integer(const Cell* vector, uint32_t i);

// The arithmetic kernels, on the argument stack (result slot first, the
// other operand next).  `scalar_math` takes the scalar in the result slot
// and the vector next (a number on the left of a vector).
void do_math(int32_t op);
void scalar_math(int32_t op);

// The wrapping 32-bit integer arithmetic of integer elements; zero divisors
// raise math/zero-divide.
int32_t integer_op(int32_t left, int32_t right, int32_t op);

}  // namespace qor::vector
