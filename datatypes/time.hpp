// time!: a duration or time of day held as a number of seconds.
//
//   parent   float! (random, compare, absolute, negate, remainder come from it)
//   header   TYPE_TIME
//   words 2-3 the seconds as a double, negative for negative durations
//
// There is no day, zone or range limit: 25:00:00 is 90000 seconds.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace qor {

namespace time {

void init();   // registers time! (after float!)

inline Cell make(double seconds) {
    Cell c{TYPE_TIME, 0, 0, 0};
    set_cell_float(&c, seconds);
    return c;
}
// Turns a cell into a time!, keeping its header flags.
inline void init_cell(double seconds, Cell* cell) {
    cell->header = (cell->header & ~TYPE_MASK) | TYPE_TIME;
    set_cell_float(cell, seconds);
}
Cell* new_in_block(Cell* block, double seconds);
Cell* push_new(double seconds);

// Appends the h:mm:ss text; answers the limit less the characters of the
// hours, minutes, colons and seconds (the "-" sign is not counted).
int32_t form_text(double seconds, Cell* out, int32_t limit);

int32_t get_hours(double seconds);     // toward zero
int32_t get_minutes(double seconds);   // 0-59

// 1 hour, 2 minute, 3 second (by canonical symbol); -1 for other words,
// except that a time! value raises script/cannot-use for them.
int32_t field_index(const Cell* word, const Cell* value);
// Pushes field 1 or 2 as an integer!, field 3 as a float!; answers the cell.
Cell* get_field(const Cell* time, int32_t index);

// Replaces field 1, 2 or 3 of the seconds held in words 2-3 of `cell` (a
// time!, or a date!'s stored time) with the number `value` (checked by the
// caller).
void set_field(Cell* cell, int32_t index, const Cell* value);

[[noreturn]] void raise_bad_make(const Cell* value);

// pick with an index cell: an integer! 1..3 or the words hour, minute,
// second.  (The pick slot receives the evaluator's converted integer.)
Cell* pick_field(Cell* value, const Cell* index);

// The literal decoder (literal.hpp): h:m[:s[.frac]] or m:s.frac with an optional sign.
uint32_t decode_literal(const uint8_t* start, const uint8_t* end, uint32_t seen, bool make, Cell* out);

}  // namespace time

Cell*   time_make(Cell* prototype, Cell* spec);   // make and to
int32_t time_form(Cell* value, Cell* out, Cell* part, int32_t limit);
int32_t time_mold(Cell* value, Cell* out, bool only, bool all, bool flat, Cell* part,
                  int32_t limit, int32_t indent);
Cell*   time_eval_path(Cell* value, Cell* element, Cell* new_value, Cell* path, Cell* parent,
                       Cell* previous, int32_t step, bool case_sensitive, uint32_t reserved,
                       bool last, bool notify);
void    time_add();
void    time_subtract();
void    time_multiply();
void    time_divide();
Cell*   time_round(Cell* value, Cell* scale, bool even, bool down, bool half_down, bool floor,
                   bool ceiling, bool half_ceiling);
int32_t time_even_q(Cell* value);
int32_t time_odd_q(Cell* value);
Cell*   time_pick(Cell* value, int32_t index);

}  // namespace qor
