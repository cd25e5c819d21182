// Powers of ten as 128-bit significands, and the fixed-point products that
// the fast paths of the float/text conversions make with them.
//
// 10^q = (T + t) * 2^e with 2^127 <= T < 2^128 and 0 <= t < 1; t = 0 exactly
// for q = 0..55.  Multiplying by T therefore gives a lower bound of the true
// product whose error is below the other factor; the fast paths carry that
// bound and hand over to the exact big-integer paths whenever a decision
// falls inside it.
#pragma once
#include <cstdint>

namespace qor::float_pow10 {

struct Pow10 {
    uint32_t t[4];   // T, least significant word first
    int16_t e;
    uint8_t exact;
};

// REQUIRES -350 <= q <= 350.
const Pow10& pow10(int32_t q);
constexpr int32_t low = -350, high = 350;

// A 192-bit unsigned integer, least significant word first.
struct U192 {
    uint32_t w[6];
};

U192 mul(uint64_t a, const uint32_t t[4]);                 // a * T
void add_mul(U192& x, const uint32_t t[4], uint32_t k);    // x += k * T
void sub_mul(U192& x, const uint32_t t[4], uint32_t k);    // x -= k * T; REQUIRES x >= k * T
void add(U192& x, uint64_t v);
uint32_t bit_length(const U192& x);
// Bits [from, from + 64) of x as one word (bits past 191 read as 0).
uint64_t bits_at(const U192& x, uint32_t from);
// True when bits [0, n) of x are all zero.
bool low_bits_zero(const U192& x, uint32_t n);

// A non-negative real X known as a 64.64 fixed-point lower bound
// i + f / 2^64 with X < lower bound + err / 2^64; err = 0 means X equals
// the bound.
struct Fixed {
    uint64_t i, f;
    uint32_t err;
};

// X = p / 2^s, where the true value lies in [p, p + p_err) (p_err = 0: exact).
// REQUIRES 64 <= s, p >> s < 2^64, p_err < 2^(s - 64) * 2^31.
Fixed to_fixed(const U192& p, uint32_t s, uint64_t p_err);

// floor(log10(2^e)) for -1650 <= e <= 1650.
inline int32_t floor_log10_pow2(int32_t e) { return (e * 78913) >> 18; }

}  // namespace qor::float_pow10
