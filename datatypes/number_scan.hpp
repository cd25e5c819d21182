// Text-to-number scanning shared by the lexer's loaders and the datatypes'
// conversions from text (to integer!, to float!, make money!...).
//
// The byte versions read UTF-8 (ASCII) between two pointers and never read
// outside [start, end); the string versions read a text value from its
// index through its unit size.  None of these allocates or raises: each
// answers a status and leaves the error to its caller.  The correctly
// rounded decimal-to-binary step is runtime/text_to_float.hpp.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace qor::number_scan {

// The longest text a float conversion accepts.
constexpr uint32_t MAX_FLOAT_TEXT = 312;

// ---- Byte ranges ------------------------------------------------------------------------

// The integer of a lexer token: an optional sign, digits, "'" separators
// when `separators` is set.
enum IntStatus : int32_t {
    INT_OK = 0,
    INT_AS_FLOAT = 1,       // does not fit (or more than 10 digits): read it as a float
    INT_NO_DIGITS = -1,     // nothing but a sign
    INT_DOUBLE_QUOTE = -2,  // two "'" in a row
    INT_BAD_CHAR = -3,      // a byte that is neither digit nor separator
};
IntStatus lex_integer(const uint8_t* start, const uint8_t* end, bool separators, int32_t* value);

// Time-part integer: an optional "-", then digits with "'" skipped; stops at
// the first other byte (*stop).  Status 0, or -5 on overflow (the exact text
// "-2147483648" fits).
int32_t time_part_integer(const uint8_t* start, const uint8_t* end, const uint8_t** stop,
                          int32_t* status);

// Up to `max_count` decimal digits.  Status -2 when start == end, -1 when no
// digit was read or, with exact > 0, when not exactly `exact` were read.
int32_t fixed_digits(const uint8_t* start, const uint8_t* end, uint32_t exact, uint32_t max_count,
                     const uint8_t** stop, int32_t* status);

// The run of digits and dots from start as a float (seconds); *stop after it.
double fraction(const uint8_t* start, const uint8_t* end, const uint8_t** stop);

// The float syntax: [sign] digits ['digits] [. [digits]] [e [sign] digits],
// or [sign] . digits [e...]; "'" only between digits.  Texts longer than
// MAX_FLOAT_TEXT are refused.
bool float_syntax_ok(const char* start, const char* end);
inline bool float_syntax_ok(const uint8_t* start, const uint8_t* end) {
    return float_syntax_ok(reinterpret_cast<const char*>(start), reinterpret_cast<const char*>(end));
}

// Checks the syntax, drops the "'" separators and converts, scaled by
// 10^scale (-2 for percent).  False when the text is not a float.
bool read_float(const uint8_t* start, const uint8_t* end, int32_t scale, double* out);

// The special floats 1.#INF, -1.#INF, 1.#NaN (any letter case, optional
// sign).  False for anything else.
bool read_special_float(const uint8_t* start, const uint8_t* end, double* out);

// A tuple: 1 to 12 decimal parts 0-255 separated by single dots.  Answers
// the part count, or -1 (a part over 255, empty parts, more than 12 parts,
// another character).
int32_t read_tuple(const uint8_t* start, const uint8_t* end, uint8_t bytes[12]);

// The parts of a money text: [sign] [3-letter code] $ digits with single
// "'" separators [. or , up to 5 decimals].  With `dollar_optional` the
// text may start with the digits (conversion from strings).
struct MoneyParts {
    bool     negative = false;
    char     currency[4] = {0, 0, 0, 0};  // upper-cased code, or empty
    char     integer[18] = {};            // up to 17 digits, NUL-terminated, no separators
    char     fraction[6] = {};            // up to 5 digits
};
bool money_parts(const uint8_t* start, const uint8_t* end, bool dollar_optional, MoneyParts* parts);

// ASCII upper-casing of a NUL-terminated byte string in place (bytes above
// 96 lose 32, as the original routine does).
void ascii_upper(char* text);

// ---- Text values -------------------------------------------------------------------------

// The characters of a text value from its index to its tail as an integer:
// an optional "+" or "-", decimal digits, "'" skipped anywhere.  *status is
// 0 on success, -1 for a character that is none of these (the answer is the
// value read so far) or for text without digits, -2 on overflow (the answer
// is 0).  "-2147483648" gives the most negative value.
int32_t string_to_integer(const Cell* text, int32_t* status);

// The characters of a text value from its index to its tail as a float:
// at most MAX_FLOAT_TEXT characters, "," read as ".", the float syntax
// checked, "'" separators removed.  On failure *status is -1 and the answer
// is NaN.
double string_to_float(const Cell* text, int32_t* status);

// A text value from its index as a tuple (read_tuple's answer).
int32_t string_to_tuple(const Cell* text, uint8_t bytes[12]);

// A text value from its index as money parts; false when it is not money.
bool string_to_money_parts(const Cell* text, MoneyParts* parts);

}  // namespace qor::number_scan
