// money!: a signed decimal amount with an optional currency, exact to five
// decimals, held entirely inside its cell.
//
//   header   TYPE_MONEY; FLAG_MONEY_SIGN (0x4000) set when negative
//   payload  12 bytes from word 1: byte 0 the currency index (0 = none,
//            else the 1-based position of the currency's word in
//            system/locale/currencies/list), bytes 1-11 the 22 BCD digits,
//            two per byte, most significant first (digit 1 is the high
//            nibble of byte 1): 17 integer digits, then 5 decimals
//
// Arithmetic is exact decimal arithmetic on the digits; results are
// truncated to 5 decimals, never rounded, and a result that does not fit
// raises script/type-limit instead of wrapping.  A zero amount is never
// stored with the sign bit set, so equal amounts have equal cells.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace qor {

namespace money {

constexpr int DIGITS = 22;            // digit positions 1..22
constexpr int INTEGER_DIGITS = 17;    // positions 1..17; 18..22 are the decimals
constexpr int FRACTION_DIGITS = 5;
constexpr int PACKED_BYTES = 11;
constexpr int32_t BLOCK_FRACTION_MAX = 99999;   // largest fraction of a block spec

void init();   // registers money! and installs the number hooks

// The cell becomes a money! (header flags other than the new-line mark
// dropped); a zero amount loses the sign.
void init_cell(Cell* cell, bool negative, uint32_t currency, const uint8_t digits[PACKED_BYTES]);
Cell* push_new(bool negative, uint32_t currency, const uint8_t digits[PACKED_BYTES]);

// Money from decimal text: `currency` a code (any letter case) or null,
// `integer` up to 17 digits ("'" skipped), `fraction` up to 5 digits (both
// NUL-terminated, digits only otherwise).  False, with the cell untouched,
// when the currency is not in the currency list.
bool from_digits(Cell* cell, bool negative, const char* currency, const char* integer,
                 const char* fraction);

// Conversions; each raises its own errors (see the number hooks).
void   from_integer(int32_t n, Cell* out);
// A float out of range (|x| >= 1e17, 0 < |x| < 1e-05, infinities, NaN), or
// with `strict` one with more than five decimals, raises
// script/bad-make-arg with money! and the float.
void   from_float(double x, bool strict, Cell* out);
double to_float(const Cell* money);
// True when the integer part lies outside the 32-bit range.
bool   integer_range_q(const Cell* money);
// The integer part with the sign; outside the range script/type-limit with
// integer!.
int32_t to_integer(const Cell* money);

// -1, 0 or 1 (zero whatever the sign bit).
int32_t sign(const Cell* money);
bool    zero_q(const Cell* money);
uint32_t currency_of(const Cell* money);

// The 1-based position of a word's currency (its canonical symbol) in the
// currency list, or -1.
int32_t currency_index(const Cell* word);
// The same for a code given as text (any letter case); never allocates.
int32_t currency_index_of_text(const char* code);
// The word at a 1-based position of the currency list, or null.
const Cell* currency_word(uint32_t index);

// Appends the text of the value (the form with `grouping`, the mold
// without); `all` asks for five decimals.  Answers the limit less the
// characters appended.
int32_t write_text(const Cell* money, Cell* out, int32_t limit, bool all, bool grouping);

// The literal decoder (literal.hpp): an optional sign and currency, "$", digits and cents; a currency the list lacks is invalid when the value is made.
uint32_t decode_literal(const uint8_t* start, const uint8_t* end, uint32_t seen, bool make, Cell* out);

}  // namespace money

Cell*   money_make(Cell* prototype, Cell* spec);
Cell*   money_to(Cell* prototype, Cell* spec);
Cell*   money_random(Cell* value, bool seed, bool secure, bool only);
int32_t money_form(Cell* value, Cell* out, Cell* part, int32_t limit);
int32_t money_mold(Cell* value, Cell* out, bool only, bool all, bool flat, Cell* part,
                   int32_t limit, int32_t indent);
Cell*   money_eval_path(Cell* value, Cell* element, Cell* new_value, Cell* path, Cell* parent,
                        Cell* previous, int32_t step, bool case_sensitive, uint32_t reserved,
                        bool last, bool notify);
int32_t money_compare(Cell* value1, Cell* value2, int32_t op);
void    money_absolute();
void    money_add();
void    money_subtract();
void    money_multiply();
void    money_divide();
void    money_remainder();
Cell*   money_negate(Cell* value);
Cell*   money_round(Cell* value, Cell* scale, bool even, bool down, bool half_down, bool floor,
                    bool ceiling, bool half_ceiling);
int32_t money_even_q(Cell* value);
int32_t money_odd_q(Cell* value);
Cell*   money_pick(Cell* value, int32_t index);

}  // namespace qor
