// Decimal text of 64-bit floats: every float text the system writes comes
// from here, never from the C library's printf, so both builds print the
// same bytes.
//
// One digit generator, correctly rounded, in two modes:
//   - shortest: the fewest significant digits that read back to the same
//     double (round to nearest, ties to even); among those the one nearest
//     the value, an exact tie going to the even last digit;
//   - fixed: the value rounded half to even at n significant digits,
//     trailing zeros removed.
// Fast paths work with 128-bit powers of ten; whenever their error bound
// leaves a decision open, the exact big-integer path decides.
//
// Two layouts sit on it: `form`, the language's float syntax, and
// `format_g`, the system's own "%.Ng" (the text C's printf gives for that
// format, with its exponent of at least two digits), for the fixed-precision
// forms of float!, percent! and the point types.  Infinities and NaN are
// "1.#INF", "-1.#INF" and "1.#NaN" in every layout; NaN never has a sign.
//
// The functions that answer a `const char*` return a static buffer (or a
// static special text) that the next call of the same function overwrites;
// callers copy the text at once.  The `_to` variants write into the
// caller's buffer instead.  Single-threaded, like the rest of the runtime.
#pragma once
#include <cstddef>
#include <cstdint>

namespace qor::float_text {

// Marks in `decpt` for the texts that carry no digits.
constexpr int32_t DECPT_SPECIAL = 9999;   // infinity or NaN
constexpr int32_t DECPT_ZERO = 9998;

// The most significant digits the fixed mode gives; larger requests are
// served with this many.
constexpr int32_t max_digits = 40;
// Room for any text of form_to and format_g_to, NUL included.
constexpr size_t text_capacity = 64;

// Digits d1..dn of the value, where value = 0.d1..dn x 10^decpt.
// ndigits <= 0 asks for the shortest round-trip digits, ndigits > 0 for that
// many significant digits (at most max_digits).  sign is 1 when the sign bit
// is set, except for NaN.  For infinity, NaN and zero, decpt is
// DECPT_SPECIAL or DECPT_ZERO and the text is a special one ("1.#INF",
// "-1.#INF", "1.#NaN"; zeros "0.0"/"-0.0" with zero_form 1, else "0"/"-0"),
// with length its length.
const char* dtoa(double value, int32_t ndigits, int32_t* decpt, int32_t* sign,
                 int32_t* length, int32_t zero_form);

// The language's float syntax (see form_to).
const char* form(double value, int32_t ndigits, int32_t zero_form);

// Lays out the digits of dtoa: scientific notation ("1.5e300", "1.0e-8",
// never a plus sign or leading exponent zeros) when the value is 10^17 or
// more or below 10^-7, else plain decimals ("0.0000001", "100.0").
// zero_form 1 keeps a trailing ".0" on integral texts.  Answers the length;
// out must hold text_capacity bytes.
size_t form_to(char* out, double value, int32_t ndigits, int32_t zero_form);

// The text C's printf writes for "%.<precision>g" (precision 0 counts as 1,
// at most max_digits), e.g. 0.1 + 0.2 with 16 gives "0.3", 1e20 "1e+20",
// 1e-5 "1e-05".
const char* format_g(double value, int32_t precision);
size_t format_g_to(char* out, double value, int32_t precision);

namespace detail {
// The exact big-integer generator alone, for tests that check the fast
// paths against it.  value finite and > 0; out holds max_digits + 2 bytes.
int32_t exact_digits(double value, int32_t ndigits, char* out, int32_t* decpt);
// The generator the public functions use (fast paths, then exact).
int32_t digits(double value, int32_t ndigits, char* out, int32_t* decpt);
}  // namespace detail

}  // namespace qor::float_text
