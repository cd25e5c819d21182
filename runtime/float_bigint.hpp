// Fixed-capacity unsigned big integers for the exact paths of the float/text
// conversions.  They live on the machine stack for one call: the largest
// value either conversion builds is below 2^2800 (an 800-digit decimal
// compared with a half-way point near the subnormal range), so 100 words
// always suffice (the worst case takes 85) and no conversion allocates.  An
// operation that would grow past the capacity is a fault of the caller and
// ends the process.
#pragma once
#include <cstdint>

namespace qor::bigint {

constexpr int capacity = 100;   // 32-bit words

struct Big {
    int32_t size;               // words in use; no leading zero word
    uint32_t w[capacity];       // least significant first
};

void set(Big& a, uint64_t v);
void mul_small(Big& a, uint32_t m);               // a *= m
void add_small(Big& a, uint32_t v);               // a += v
void mul_u64(Big& a, uint64_t m);                 // a *= m
void mul_pow5(Big& a, uint32_t n);                // a *= 5^n
void mul_pow10(Big& a, uint32_t n);               // a *= 10^n
void shift_left(Big& a, uint32_t bits);           // a *= 2^bits
void add(Big& a, const Big& b);                   // a += b
void sub(Big& a, const Big& b);                   // a -= b; REQUIRES a >= b
int  compare(const Big& a, const Big& b);         // -1, 0, 1
int  compare_sum(const Big& a, const Big& b, const Big& c);  // a + b against c

// The quotient r / s, r becoming the remainder.  REQUIRES s != 0 and
// r < 2^32 * s.  With s normalised (normalize_shift) the first estimate is
// short by at most two; otherwise the correction loop runs longer, so keep
// quotients small (the digit loops ask for one decimal digit).
uint32_t quo_rem(Big& r, const Big& s);

// Left shift that sets the top bit of s's top word; answers the shift so the
// caller can shift the other operands of a ratio alike.
uint32_t normalize_shift(const Big& s);

}  // namespace qor::bigint
