// The lexer's token scanners and loaders, and the decoders they share with
// the datatypes that parse text (dates, binaries, escapes).
//
// The table of scanners and loaders per token kind is KIND_TABLE
// (lexer_record.hpp).  The decoders below never allocate and never raise:
// they answer whether the text was well formed.
#pragma once
#include <cstdint>

namespace qor::lexer {

// One character of text at p (before end): a "^" escape when `escapes` is
// set, else one UTF-8 character.  Answers the bytes consumed, 0 when the
// text is malformed there.
uint32_t decode_char(const uint8_t* p, const uint8_t* end, bool escapes, uint32_t* cp);

// The parts of a date literal.
struct DateParts {
    int32_t year = 0, month = 0, day = 0;
    bool    has_time = false;
    int32_t hour = 0, minute = 0;
    double  second = 0;
    bool    has_zone = false;
    bool    zone_west = false;   // a "-" zone, also when its hours are 0
    int32_t zone_hours = 0, zone_minutes = 0;
};
bool parse_date(const uint8_t* start, const uint8_t* end, DateParts* date);

// h:m[:s[.frac]] with an optional sign: seconds, false when malformed.
bool parse_time(const uint8_t* start, const uint8_t* end, double* seconds);

// The bytes of a binary literal's body in base 2, 16 or 64 (blanks, line
// ends and ";" comments skipped).  `out` may be null (validation only);
// answers the byte count, or -1 when the body is malformed.
int32_t decode_binary(const uint8_t* start, const uint8_t* end, int32_t base, uint8_t* out);

// The parts of a point literal between its parentheses: 2 or 3 numbers;
// answers the count, or -(count read + 1) when malformed, or
// POINT_BAD_NUMBER when a part is not a number.
constexpr int32_t POINT_BAD_NUMBER = -100;
int32_t parse_point(const uint8_t* start, const uint8_t* end, double xyz[3]);

}  // namespace qor::lexer
