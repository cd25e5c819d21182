// char!: one Unicode code point.
//
//   parent   integer!
//   header   TYPE_CHAR
//   word 2   the code point, always within 0..0x10FFFF
//   words 1, 3 unused
//
// Arithmetic keeps every result inside the code point range (math/overflow
// otherwise); comparison is numeric, with char! and integer! alike, and
// never folds case.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace qor {

namespace char_ {

constexpr uint32_t MAX_CODE_POINT = 0x10FFFF;

void init();   // registers char! (after integer!)

inline void set(Cell* cell, uint32_t cp) { *cell = Cell{TYPE_CHAR, 0, cp, 0}; }
inline Cell make(uint32_t cp) { return Cell{TYPE_CHAR, 0, cp, 0}; }
inline uint32_t code_point(const Cell* cell) { return cell->data2; }

// The eight arithmetic actions on the argument stack: the result slot (a
// char!) op the next argument.  `op` is a MathOp code.
void do_math(int32_t op);

Cell* new_in_block(Cell* block, uint32_t cp);   // a char! at the block's tail
Cell* push_new(uint32_t cp);                    // a char! pushed on the argument stack

// The literal decoder (literal.hpp): #"c" up to its closing quote.
uint32_t decode_literal(const uint8_t* start, const uint8_t* end, uint32_t seen, bool make, Cell* out);

}  // namespace char_

Cell*   char_make(Cell* prototype, Cell* spec);   // make and to
int32_t char_form(Cell* value, Cell* out, Cell* part, int32_t limit);
int32_t char_mold(Cell* value, Cell* out, bool only, bool all, bool flat, Cell* part,
                  int32_t limit, int32_t indent);
int32_t char_compare(Cell* value1, Cell* value2, int32_t op);
void    char_add();
void    char_divide();
void    char_multiply();
void    char_remainder();
void    char_subtract();
void    char_and();
void    char_or();
void    char_xor();

}  // namespace qor
