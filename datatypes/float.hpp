// float!: the IEEE 754 double, and the float routines that other numeric
// types share: the text former with its per-type modes, the arithmetic
// kernel and operand dispatch (percent! and time! take most of their actions
// from here), the near-equality tests and rounding.
//
//   parent   none (percent! and time! take most of its actions)
//   header   TYPE_FLOAT (TYPE_PERCENT, TYPE_TIME share the layout)
//   words 2-3 the double, low word first
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace qor {

namespace float_ {

void init();   // registers float!

// Modes of the text former.
enum FormMode : int32_t {
    FORM_SINGLE = 0,         // a 32-bit float element of vector!
    FORM_FLOAT = 1,          // float!
    FORM_PERCENT_ELEMENT = 2,// a percent element of vector!
    FORM_PERCENT = 3,        // percent! (the caller passes the value times 100)
    FORM_SECONDS = 4,        // the seconds of a time!
    FORM_COORDINATE = 5,     // a coordinate of point2D!/point3D!
};

// A fresh float-layout cell of `type` (header written whole).
inline Cell make(double value, uint32_t type = TYPE_FLOAT) {
    Cell c{type, 0, 0, 0};
    set_cell_float(&c, value);
    return c;
}
inline void set(Cell* cell, double value, uint32_t type = TYPE_FLOAT) { *cell = make(value, type); }
// Turns a cell into a float!, keeping its header flags.
inline void init_cell(Cell* cell, double value) {
    cell->header = (cell->header & ~TYPE_MASK) | TYPE_FLOAT;
    set_cell_float(cell, value);
}
inline double get_value(const Cell* cell) { return cell_float(cell); }

void  set_result(double value);                  // the result slot becomes a float!
Cell* new_in_block(Cell* block, double value);   // a float! at the block's tail
Cell* push_new(double value);                    // a float! pushed on the argument stack
Cell* push_from_halves(uint32_t low, uint32_t high);   // a float! of that bit pattern

// The double of an integer! or float!; anything else raises
// script/bad-to-arg with float! and the value.
double number_value(const Cell* cell);

// The pretty flag of the text former (on at start-up), set from
// system/options/float/pretty?; `full?` is kept beside it and read nowhere.
void set_pretty(bool on);
bool pretty();
void set_full(bool on);

// Text of the value in one of the modes above, in a static buffer valid
// until the next call.
const char* form_chars(double value, int32_t mode);

// The kernel for op codes 0-4; others raise script/cannot-use.
double math_op(double left, double right, int32_t op);

// The body of add, subtract, multiply, divide, remainder of float!,
// percent! and time!: left operand in the result slot, right the next
// argument; the result replaces the left operand.
void do_math(int32_t op);

// float!/compare on a double: `a` is the value of a cell of type `type1`
// (integer! borrows the rules with its value widened).
int32_t compare_number(double a, uint32_t type1, Cell* value2, int32_t op);

bool near_equal_q(double a, double b);     // within 10 units in the last place
bool near_equal32_q(float a, float b);
bool nan_or_inf_bits_q(double value);      // true only for NaN
bool special_q(double value);              // infinities and NaN
bool nan32_q(float value);
int32_t to_int_round(double value);        // + 0.49999999999999994, truncated
double abs_from_halves(double value);      // the sign bit cleared
double random_scaled(double x, bool secure);

double from_binary(const Cell* binary);    // up to 8 bytes, big-endian, right-aligned

// The literal decoder (literal.hpp): a decimal number with a "." or "," or an exponent.
uint32_t decode_literal(const uint8_t* start, const uint8_t* end, uint32_t seen, bool make, Cell* out);

// The literal decoder (literal.hpp): 1.#INF, -1.#INF and 1.#NaN.
uint32_t decode_special_literal(const uint8_t* start, const uint8_t* end, uint32_t seen, bool make, Cell* out);

}  // namespace float_

// Action entries (percent! and time! reuse most of them).
Cell*   float_make(Cell* prototype, Cell* spec);   // make and to
Cell*   float_random(Cell* value, bool seed, bool secure, bool only);
int32_t float_form(Cell* value, Cell* out, Cell* part, int32_t limit);
int32_t float_mold(Cell* value, Cell* out, bool only, bool all, bool flat, Cell* part,
                   int32_t limit, int32_t indent);
int32_t float_compare(Cell* value1, Cell* value2, int32_t op);
void    float_absolute();
void    float_add();
void    float_divide();
void    float_multiply();
Cell*   float_negate(Cell* value);
void    float_power();
void    float_remainder();
Cell*   float_round(Cell* value, Cell* scale, bool even, bool down, bool half_down,
                    bool floor, bool ceiling, bool half_ceiling);
void    float_subtract();
int32_t float_even_q(Cell* value);
int32_t float_odd_q(Cell* value);

}  // namespace qor
