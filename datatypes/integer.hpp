// integer!: the signed 32-bit integer, and the integer routines that other
// numeric types share (decimal text, the checked arithmetic kernel, absolute
// value, the range test of a double).
//
//   parent   none (char! and handle! take some of its actions)
//   header   TYPE_INTEGER
//   word 2   the value, signed 32-bit
//   words 1, 3 unused
//
// Arithmetic never wraps: an add, subtract or multiply that leaves the
// 32-bit range, or a division that does not come out even, turns the result
// cell into a float! holding the same operation done in doubles.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace qor {

namespace integer {

void init();   // registers integer!

// A fresh integer! (header written whole: flags cleared).
inline Cell make(int32_t value) { return Cell{TYPE_INTEGER, 0, uint32_t(value), 0}; }
inline void set(Cell* cell, int32_t value) { *cell = make(value); }
// Turns a cell into an integer!, keeping its header flags.
inline void init_cell(Cell* cell, int32_t value) {
    cell->header = (cell->header & ~TYPE_MASK) | TYPE_INTEGER;
    cell->data2 = uint32_t(value);
}
inline int32_t get_value(const Cell* cell) { return int32_t(cell->data2); }

int32_t arg_value();           // the integer in the first argument slot
int32_t arg_value_or_zero();   // the same, 0 unless that slot holds an integer!
void    set_result(int32_t value);                 // the result slot becomes an integer!
Cell*   new_in_block(Cell* block, int32_t value);  // an integer! at the block's tail
Cell*   push_new(int32_t value);                   // an integer! pushed on the argument stack

// The checked kernel: applies one math op code.  With a result cell, its
// word 2 receives the integer result, or, on promotion, the cell becomes a
// float! holding the result of the operation in doubles (the answer is then
// 0).  Without a result cell, division truncates toward zero and an add,
// subtract or multiply overflow raises math/overflow.  Zero divisors raise
// math/zero-divide; -2147483648 / -1 and // -1 raise math/overflow.
int32_t math_op(int32_t left, int32_t right, int32_t op, Cell* result);

// The body of add, subtract, multiply, divide, remainder, and~, or~, xor~:
// left operand in the result slot, right operand the next argument cell.
void do_math(int32_t op);

// Decimal text of the value ("-2147483648" for the most negative one), in
// a static buffer valid until the next call.
const char* to_decimal_chars(int32_t value);

// True when a float cell's double lies outside -2147483648.0..2147483647.0
// or is NaN.
bool float_overflows_q(const Cell* number);

int32_t abs_checked(int32_t value);   // math/overflow for -2147483648
int32_t sign(int32_t value);          // -1, 0 or 1

// Conversions used by to/make.
int32_t from_binary(const Cell* binary);   // up to 4 bytes from the index, big-endian
int32_t from_issue(const Cell* issue);     // the spelling as hexadecimal digits

// Exponentiation by squaring; throws THROW_INT_OVERFLOW when the result
// does not fit (the power action finishes such a computation in doubles).
int32_t power_by_squaring(int32_t base, int32_t exponent);

// The literal decoder (literal.hpp): digits with an optional sign and "'" separators; one too long or too large for 32 bits reads as a float!.
uint32_t decode_literal(const uint8_t* start, const uint8_t* end, uint32_t seen, bool make, Cell* out);

// The literal decoder (literal.hpp): 2 to 8 upper-case hexadecimal digits and "h".
uint32_t decode_hex_literal(const uint8_t* start, const uint8_t* end, uint32_t seen, bool make, Cell* out);

}  // namespace integer

// Action entries.
Cell*   integer_make(Cell* prototype, Cell* spec);
Cell*   integer_to(Cell* prototype, Cell* spec);
Cell*   integer_random(Cell* value, bool seed, bool secure, bool only);
int32_t integer_form(Cell* value, Cell* out, Cell* part, int32_t limit);
int32_t integer_mold(Cell* value, Cell* out, bool only, bool all, bool flat, Cell* part,
                     int32_t limit, int32_t indent);
int32_t integer_compare(Cell* value1, Cell* value2, int32_t op);
void    integer_absolute();
void    integer_add();
void    integer_divide();
void    integer_multiply();
Cell*   integer_negate(Cell* value);
void    integer_power();
void    integer_remainder();
Cell*   integer_round(Cell* value, Cell* scale, bool even, bool down, bool half_down,
                      bool floor, bool ceiling, bool half_ceiling);
void    integer_subtract();
int32_t integer_even_q(Cell* value);
int32_t integer_odd_q(Cell* value);
void    integer_and();
Cell*   integer_complement(Cell* value);
void    integer_or();
void    integer_xor();

}  // namespace qor
