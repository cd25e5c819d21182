// date!: a calendar date with an optional time of day and time zone, held
// entirely inside one cell.
//
//   parent   none
//   header   TYPE_DATE
//   word 1   the packed date:
//              bits 17-31 year (signed: arithmetic shift right by 17)
//              bit  16    has-time (0x10000)
//              bits 12-15 month 1..12
//              bits 7-11  day 1..31
//              bits 0-6   zone: 0x40 sign (west of UTC), bits 2-5 hours,
//                         bits 0-1 quarter hours
//   words 2-3 the stored time, a double of seconds: the local time minus the
//            zone offset, counted from midnight of the local date in word 1
//
// After every normalising operation the local time of day (stored time +
// zone) lies in [0, 86400).  Arithmetic goes through a day number counted
// in the proleptic Gregorian calendar with the year starting in March.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace qor {

namespace date {

void init();   // registers date! and installs its conversion hook

constexpr uint32_t HAS_TIME = 0x10000u;
constexpr uint32_t ZONE_MASK = 0x7Fu;
constexpr uint32_t ZONE_WEST = 0x40u;

// Fields of the packed word.
inline int32_t  year_of(uint32_t word) { return int32_t(word) >> 17; }
inline int32_t  month_of(uint32_t word) { return int32_t((word >> 12) & 15u); }
inline int32_t  day_of(uint32_t word) { return int32_t((word >> 7) & 31u); }
inline uint32_t zone_of(uint32_t word) { return word & ZONE_MASK; }
inline bool     has_time(uint32_t word) { return (word & HAS_TIME) != 0; }
inline uint32_t pack(int32_t year, int32_t month, int32_t day, uint32_t zone, bool time) {
    return uint32_t(year) << 17 | (uint32_t(month) & 15u) << 12 | (uint32_t(day) & 31u) << 7 |
           (zone & ZONE_MASK) | (time ? HAS_TIME : 0u);
}

// The zone bits of an offset east of UTC in minutes (whole quarters).
uint32_t zone_bits(int32_t offset_minutes);
// The offset of zone bits in seconds, negative west of UTC.
int32_t zone_seconds(uint32_t zone);

inline Cell make(uint32_t word, double stored_time) {
    Cell c{TYPE_DATE, word, 0, 0};
    set_cell_float(&c, stored_time);
    return c;
}
inline double stored_time(const Cell* date) { return cell_float(date); }

// Day numbers.
int32_t to_days(uint32_t word);                                 // zone and has-time ignored
uint32_t from_days(int32_t days, uint32_t zone, bool time);      // the packed word
bool    leap_year_q(int32_t year);
int32_t year_start_days(uint32_t word);                         // day number of 1 January
int32_t weekday(int32_t days);                                  // Monday 1 .. Sunday 7
// Moves days and time so that the local time (t + zone) lies in [0, 86400);
// answers the new day number.
int32_t normalize_days(int32_t days, double* time, uint32_t zone);
// Re-normalises the cell's day and stored time; with `from_local`, `time` is
// taken as the local time of day and converted first.
void    normalize(Cell* date, double time, bool from_local);

// A date of these parts.  With `with_time`, `seconds` is the local time of
// day and the zone is applied; without, time and has-time are cleared.  The
// zone is west of UTC when either zone_hours or zone_minutes is negative
// (so -0:30 is hours 0, minutes -30).  Nothing is normalised.
void init_cell(Cell* cell, int32_t year, int32_t month, int32_t day, double seconds,
               int32_t zone_hours, int32_t zone_minutes, bool with_time);
// A date with time and no zone, for file times.
void init_cell_from_hms(Cell* cell, int32_t year, int32_t month, int32_t day, int32_t hour,
                        int32_t minute, int32_t second, int32_t nanoseconds);
Cell* new_in_block(Cell* block, uint32_t word, double stored_time);
Cell* push_new(uint32_t word, double stored_time);

// Day offsets inside the year (the lexer's ISO forms, path writes).
void set_isoweek(Cell* date, int32_t week);
void set_weekday(Cell* date, int32_t weekday);
void set_yearday(Cell* date, int32_t yearday);

// Seconds since 1 January 1970 (stored time); a result beyond 32 bits
// raises script/type-limit with integer!.
int32_t to_epoch_seconds(const Cell* date);
// The date of epoch seconds: has-time set, zone 0.
Cell    from_epoch_seconds(int32_t seconds);
// `date` becomes the time! between it and `other`.
void    difference(Cell* date, const Cell* other);

// Field numbers of paths and pick.
enum Field : int32_t {
    FIELD_DATE = 1, FIELD_YEAR, FIELD_MONTH, FIELD_DAY, FIELD_ZONE, FIELD_TIME, FIELD_HOUR,
    FIELD_MINUTE, FIELD_SECOND, FIELD_WEEKDAY, FIELD_YEARDAY, FIELD_TIMEZONE, FIELD_WEEK,
    FIELD_ISOWEEK,
};
// The field a word names (its spelling without regard to case), -1 if none.
int32_t field_of_word(const Cell* word);
// The field's value (pushed on the argument stack).
Cell* get_field(const Cell* date, int32_t field);
// The field's value, without the stack.
Cell  field_value(const Cell* date, int32_t field);

// The current date: local with its zone, or UTC; `precise` keeps the
// fraction of the second.
Cell now(bool utc, bool precise);

// The literal decoder (literal.hpp, date_literal.cpp): the date forms
// d-m-y, y-m-d, y/m/d, yyyy-ddd, yyyy-Www-d and yyyymmddThhmm[ss], then
// /time or Ttime and a zone.
uint32_t decode_literal(const uint8_t* start, const uint8_t* end, uint32_t seen, bool make, Cell* out);

}  // namespace date

Cell*   date_make(Cell* prototype, Cell* spec);
Cell*   date_to(Cell* prototype, Cell* spec);
Cell*   date_random(Cell* value, bool seed, bool secure, bool only);
int32_t date_form(Cell* value, Cell* out, Cell* part, int32_t limit);
int32_t date_mold(Cell* value, Cell* out, bool only, bool all, bool flat, Cell* part,
                  int32_t limit, int32_t indent);
Cell*   date_eval_path(Cell* value, Cell* element, Cell* new_value, Cell* path, Cell* parent,
                       Cell* previous, int32_t step, bool case_sensitive, uint32_t reserved,
                       bool last, bool notify);
int32_t date_compare(Cell* value1, Cell* value2, int32_t op);
void    date_add();
void    date_subtract();
Cell*   date_pick(Cell* value, int32_t index);

}  // namespace qor
