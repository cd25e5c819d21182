// Decimal text to 64-bit float, correctly rounded (nearest, ties to even)
// for every input, on a byte range rather than a NUL-terminated string.
//
// Shape read: an optional sign; digits with an optional "."; an optional
// exponent ("e" or "E", an optional sign, at least one digit).  The
// language's texts "1.#INF", "-1.#INF" and "1.#NaN" (one digit, any letter
// case) read as infinity and NaN.  Reading stops at the first byte that does
// not fit; `rest` tells how many bytes were left.  The scanners of the lexer
// have checked the syntax already, so for them rest is 0.
//
// Quirks kept from the language's number reader: a sign followed by nothing
// but zeros ("-0", "-") gives +0.0 while "-0.0" gives -0.0; a nonzero text
// too small for the smallest subnormal gives +0.0 whatever its sign.
//
// Exponents of any length saturate, so "1e99999999999" is infinity, never
// a wrapped exponent.  Texts longer than max_number_text bytes are refused:
// the answer is 0.0 with rest = the whole length.  Nothing outside
// [start, end) is read.
#pragma once
#include <cstdint>

namespace qor::float_text {

constexpr int32_t max_number_text = 0x10000;

// `scale` is added to the decimal exponent (the percent scanner passes -2).
// `rest` may be null.
double strtod(const char* start, const char* end, int32_t scale, int32_t* rest);

namespace detail {
// The exact big-integer rounding alone, for tests that check the fast
// paths against it; same contract as strtod.
double strtod_exact(const char* start, const char* end, int32_t scale, int32_t* rest);
}  // namespace detail

}  // namespace qor::float_text
