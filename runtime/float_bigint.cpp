#include "runtime/float_bigint.hpp"

#include <cstdlib>

namespace qor::bigint {
namespace {

[[noreturn]] void capacity_exceeded() { std::abort(); }

void trim(Big& a) {
    while (a.size > 0 && a.w[a.size - 1] == 0) --a.size;
}

void push_word(Big& a, uint32_t word) {
    if (a.size >= capacity) capacity_exceeded();
    a.w[a.size++] = word;
}

}  // namespace

void set(Big& a, uint64_t v) {
    a.size = 0;
    if (v) push_word(a, uint32_t(v));
    if (v >> 32) push_word(a, uint32_t(v >> 32));
}

void mul_small(Big& a, uint32_t m) {
    uint64_t carry = 0;
    for (int32_t i = 0; i < a.size; ++i) {
        uint64_t t = uint64_t(a.w[i]) * m + carry;
        a.w[i] = uint32_t(t);
        carry = t >> 32;
    }
    if (carry) push_word(a, uint32_t(carry));
    if (m == 0) a.size = 0;
}

void add_small(Big& a, uint32_t v) {
    uint64_t carry = v;
    for (int32_t i = 0; i < a.size && carry; ++i) {
        uint64_t t = uint64_t(a.w[i]) + carry;
        a.w[i] = uint32_t(t);
        carry = t >> 32;
    }
    if (carry) push_word(a, uint32_t(carry));
}

void mul_u64(Big& a, uint64_t m) {
    uint32_t lo = uint32_t(m), hi = uint32_t(m >> 32);
    if (hi == 0) {
        mul_small(a, lo);
        return;
    }
    if (a.size + 2 > capacity) capacity_exceeded();
    uint32_t out[capacity + 2] = {};
    for (int32_t i = 0; i < a.size; ++i) {
        uint64_t t = uint64_t(a.w[i]) * lo + out[i];
        out[i] = uint32_t(t);
        uint64_t u = uint64_t(a.w[i]) * hi + out[i + 1] + (t >> 32);
        out[i + 1] = uint32_t(u);
        out[i + 2] = uint32_t(u >> 32);  // only ever written once per i
    }
    a.size += 2;
    for (int32_t i = 0; i < a.size; ++i) a.w[i] = out[i];
    trim(a);
}

void mul_pow5(Big& a, uint32_t n) {
    static constexpr uint32_t pow5[14] = {1, 5, 25, 125, 625, 3125, 15625, 78125,
                                          390625, 1953125, 9765625, 48828125,
                                          244140625, 1220703125};
    for (; n >= 13; n -= 13) mul_small(a, pow5[13]);
    if (n) mul_small(a, pow5[n]);
}

void mul_pow10(Big& a, uint32_t n) {
    mul_pow5(a, n);
    shift_left(a, n);
}

void shift_left(Big& a, uint32_t bits) {
    if (a.size == 0 || bits == 0) return;
    uint32_t words = bits / 32, b = bits % 32;
    int32_t new_size = a.size + int32_t(words) + (b ? 1 : 0);
    if (new_size > capacity) capacity_exceeded();
    if (b == 0) {
        for (int32_t i = a.size - 1; i >= 0; --i) a.w[i + words] = a.w[i];
    } else {
        a.w[a.size + words] = 0;
        for (int32_t i = a.size - 1; i >= 0; --i) {
            a.w[i + words + 1] |= a.w[i] >> (32 - b);
            a.w[i + words] = a.w[i] << b;
        }
    }
    for (uint32_t i = 0; i < words; ++i) a.w[i] = 0;
    a.size = new_size;
    trim(a);
}

void add(Big& a, const Big& b) {
    int32_t n = a.size > b.size ? a.size : b.size;
    uint64_t carry = 0;
    for (int32_t i = 0; i < n; ++i) {
        uint64_t t = carry + (i < a.size ? a.w[i] : 0) + (i < b.size ? b.w[i] : 0);
        a.w[i] = uint32_t(t);
        carry = t >> 32;
    }
    a.size = n;
    if (carry) push_word(a, uint32_t(carry));
}

void sub(Big& a, const Big& b) {
    int64_t borrow = 0;
    for (int32_t i = 0; i < a.size; ++i) {
        int64_t t = int64_t(a.w[i]) - (i < b.size ? b.w[i] : 0) - borrow;
        borrow = t < 0;
        a.w[i] = uint32_t(t);
    }
    trim(a);
}

int compare(const Big& a, const Big& b) {
    if (a.size != b.size) return a.size < b.size ? -1 : 1;
    for (int32_t i = a.size - 1; i >= 0; --i)
        if (a.w[i] != b.w[i]) return a.w[i] < b.w[i] ? -1 : 1;
    return 0;
}

int compare_sum(const Big& a, const Big& b, const Big& c) {
    Big s = a;
    add(s, b);
    return compare(s, c);
}

uint32_t normalize_shift(const Big& s) {
    return s.size ? uint32_t(__builtin_clz(s.w[s.size - 1])) : 0;
}

uint32_t quo_rem(Big& r, const Big& s) {
    int32_t n = s.size;
    if (r.size < n) return 0;
    // Estimate from the top words; dividing by top + 1 never overshoots, and
    // with a normalised divisor the estimate is short by at most two.
    uint64_t top = r.w[n - 1];
    if (r.size > n) top |= uint64_t(r.w[n]) << 32;
    uint64_t est = top / (uint64_t(s.w[n - 1]) + 1);
    if (est > 0xFFFFFFFFu) est = 0xFFFFFFFFu;
    uint32_t q = uint32_t(est);
    if (q) {
        uint64_t carry = 0;
        int64_t borrow = 0;
        for (int32_t i = 0; i < r.size; ++i) {
            uint64_t p = (i < n ? uint64_t(s.w[i]) * q : 0) + carry;
            carry = p >> 32;
            int64_t t = int64_t(r.w[i]) - int64_t(uint32_t(p)) - borrow;
            borrow = t < 0;
            r.w[i] = uint32_t(t);
        }
        trim(r);
    }
    while (compare(r, s) >= 0) {
        sub(r, s);
        ++q;
    }
    return q;
}

}  // namespace qor::bigint
