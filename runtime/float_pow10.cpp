#include "runtime/float_pow10.hpp"

namespace qor::float_pow10 {
namespace {

#include "runtime/pow10_table.inc"

static_assert(pow10_low == low && pow10_high == high, "regenerate pow10_table.inc");

}  // namespace

const Pow10& pow10(int32_t q) { return pow10_table[q - low]; }

U192 mul(uint64_t a, const uint32_t t[4]) {
    U192 x = {};
    const uint32_t a0 = uint32_t(a), a1 = uint32_t(a >> 32);
    uint64_t carry = 0;
    for (int i = 0; i < 4; ++i) {
        uint64_t p = uint64_t(a0) * t[i] + carry;
        x.w[i] = uint32_t(p);
        carry = p >> 32;
    }
    x.w[4] = uint32_t(carry);
    if (a1) {
        carry = 0;
        for (int i = 0; i < 4; ++i) {
            uint64_t p = uint64_t(a1) * t[i] + x.w[i + 1] + carry;
            x.w[i + 1] = uint32_t(p);
            carry = p >> 32;
        }
        x.w[5] = uint32_t(carry);
    }
    return x;
}

void add_mul(U192& x, const uint32_t t[4], uint32_t k) {
    uint64_t carry = 0;
    for (int i = 0; i < 6; ++i) {
        uint64_t p = (i < 4 ? uint64_t(t[i]) * k : 0) + x.w[i] + carry;
        x.w[i] = uint32_t(p);
        carry = p >> 32;
    }
}

void sub_mul(U192& x, const uint32_t t[4], uint32_t k) {
    uint64_t carry = 0;
    int64_t borrow = 0;
    for (int i = 0; i < 6; ++i) {
        uint64_t p = (i < 4 ? uint64_t(t[i]) * k : 0) + carry;
        carry = p >> 32;
        int64_t d = int64_t(x.w[i]) - int64_t(uint32_t(p)) - borrow;
        borrow = d < 0;
        x.w[i] = uint32_t(d);
    }
}

void add(U192& x, uint64_t v) {
    uint64_t carry = v;
    for (int i = 0; i < 6 && carry; ++i) {
        uint64_t p = uint64_t(x.w[i]) + uint32_t(carry);
        x.w[i] = uint32_t(p);
        carry = (carry >> 32) + (p >> 32);
    }
}

uint32_t bit_length(const U192& x) {
    for (int i = 5; i >= 0; --i)
        if (x.w[i]) return uint32_t(i) * 32 + 32 - uint32_t(__builtin_clz(x.w[i]));
    return 0;
}

uint64_t bits_at(const U192& x, uint32_t from) {
    uint32_t word = from / 32, b = from % 32;
    auto at = [&](uint32_t i) -> uint64_t { return i < 6 ? x.w[i] : 0; };
    uint64_t lo = at(word) | (at(word + 1) << 32);
    if (b == 0) return lo;
    return (lo >> b) | (at(word + 2) << (64 - b));
}

bool low_bits_zero(const U192& x, uint32_t n) {
    uint32_t words = n / 32, b = n % 32;
    for (uint32_t i = 0; i < words && i < 6; ++i)
        if (x.w[i]) return false;
    return b == 0 || words >= 6 || (x.w[words] & ((1u << b) - 1)) == 0;
}

Fixed to_fixed(const U192& p, uint32_t s, uint64_t p_err) {
    Fixed x;
    x.i = bits_at(p, s);
    x.f = bits_at(p, s - 64);
    uint32_t drop = s - 64;
    if (p_err == 0 && low_bits_zero(p, drop)) {
        x.err = 0;
    } else {
        // One unit for the dropped bits, the carried error rounded up.
        x.err = 2 + uint32_t(drop >= 64 ? 0 : p_err >> drop);
    }
    return x;
}

}  // namespace qor::float_pow10
