#include "runtime/text_to_float.hpp"

#include <cstring>

#include "runtime/float_bigint.hpp"
#include "runtime/float_pow10.hpp"

namespace qor::float_text {
namespace {

using bigint::Big;
using float_pow10::U192;

constexpr uint64_t inf_bits = 0x7FF0000000000000ull;
constexpr uint64_t nan_bits = 0x7FF8000000000000ull;
// Explicit exponents stop growing here: far beyond any float, and still far
// from overflow when digit counts are added.
constexpr int64_t exponent_limit = 1000000000000000ll;
// Digits that take part in exact rounding.  A half-way point between two
// doubles has at most 767 significant digits, so beyond 800 only whether
// some further digit is nonzero can matter.
constexpr uint32_t exact_digit_limit = 800;

constexpr uint32_t pow10_u32[10] = {1,      10,      100,      1000,      10000,
                                    100000, 1000000, 10000000, 100000000, 1000000000};

double from_bits(uint64_t b) {
    double d;
    std::memcpy(&d, &b, 8);
    return d;
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

enum class Kind { number, unsigned_zero, infinity, nan };

// The significant digits are those of two spans (before and after the
// point), `count` of them once trailing zeros are dropped; the value is
// digits * 10^exp10.
struct Number {
    Kind kind;
    bool negative;
    const char* span1;
    const char* span1_end;
    const char* span2;
    uint32_t count;
    int64_t exp10;
};

// Calls f(digit) for the first `limit` significant digits.
template <typename F>
void each_digit(const Number& n, uint32_t limit, F&& f) {
    const char* p = n.span1;
    for (uint32_t i = 0; i < limit; ++i) {
        if (p == n.span1_end) p = n.span2;
        f(uint32_t(*p++ - '0'));
    }
}

// Reads the text's shape; answers where reading stopped.
const char* scan(const char* p, const char* end, int32_t scale, Number& n) {
    n = {};
    n.kind = Kind::number;
    if (p < end && (*p == '+' || *p == '-')) n.negative = *p++ == '-';
    while (p < end && *p == '0') ++p;
    if (p == end) {
        n.kind = Kind::unsigned_zero;
        return p;
    }
    const char* int_start = p;
    while (p < end && is_digit(*p)) ++p;
    const char* int_end = p;
    const char* frac_start = p;
    const char* frac_end = p;
    int64_t leading_zeros = 0;
    if (p < end && *p == '.') {
        if (int_end - int_start == 1 && end - p >= 3 && p[1] == '#') {
            const int letter = p[2] | 0x20;
            if (letter == 'i' || letter == 'n') {
                n.kind = letter == 'i' ? Kind::infinity : Kind::nan;
                p += 3;
                const char* tail = letter == 'i' ? "nf" : "an";
                if (end - p >= 2 && (p[0] | 0x20) == tail[0] && (p[1] | 0x20) == tail[1]) p += 2;
                return p;
            }
        }
        ++p;
        if (int_end == int_start) {
            while (p < end && *p == '0') ++p;
            leading_zeros = p - (int_end + 1);
        }
        frac_start = p;
        while (p < end && is_digit(*p)) ++p;
        frac_end = p;
    }
    int64_t exp = 0;
    if (p < end && (*p == 'e' || *p == 'E')) {
        const char* q = p + 1;
        bool negative = false;
        if (q < end && (*q == '+' || *q == '-')) negative = *q++ == '-';
        if (q < end && is_digit(*q)) {
            for (; q < end && is_digit(*q); ++q)
                if (exp < exponent_limit) exp = exp * 10 + (*q - '0');
            if (negative) exp = -exp;
            p = q;
        }
    }

    // The value is 0.d1d2... * 10^point: with integer digits the point
    // follows them, without it lies leading_zeros before the first digit.
    const int64_t point = int_end > int_start ? int_end - int_start : -leading_zeros;
    // Drop trailing zeros, in the fraction first.
    while (frac_end > frac_start && frac_end[-1] == '0') --frac_end;
    if (frac_end == frac_start)
        while (int_end > int_start && int_end[-1] == '0') --int_end;
    n.span1 = int_start;
    n.span1_end = int_end;
    n.span2 = frac_start;
    n.count = uint32_t((int_end - int_start) + (frac_end - frac_start));
    n.exp10 = point - int64_t(n.count) + exp + scale;
    return p;
}

// The double whose bits are `b`'s neighbours: m * 2^e with the half-way
// point to the next one up at (2m + 1) * 2^(e - 1).
void unit_of(uint64_t b, uint64_t& m, int32_t& e) {
    uint32_t biased = uint32_t(b >> 52);
    m = b & ((uint64_t(1) << 52) - 1);
    if (biased == 0) {
        e = -1074;
    } else {
        m |= uint64_t(1) << 52;
        e = int32_t(biased) - 1075;
    }
}

// Rounds the exact decimal value, starting from a candidate at or below the
// correctly rounded double, by comparing with the half-way points above it.
uint64_t exact_round(const Number& n, uint64_t bits) {
    const uint32_t used = n.count < exact_digit_limit ? n.count : exact_digit_limit;
    const bool sticky = n.count > used;   // a nonzero digit follows (the last one is)
    const int64_t q10 = n.exp10 + int64_t(n.count - used);

    Big left;
    bigint::set(left, 0);
    uint32_t chunk = 0, chunk_len = 0;
    each_digit(n, used, [&](uint32_t d) {
        chunk = chunk * 10 + d;
        if (++chunk_len == 9) {
            bigint::mul_small(left, 1000000000u);
            bigint::add_small(left, chunk);
            chunk = chunk_len = 0;
        }
    });
    if (chunk_len) {
        bigint::mul_small(left, pow10_u32[chunk_len]);
        bigint::add_small(left, chunk);
    }
    Big right_scale;
    bigint::set(right_scale, 1);
    if (q10 >= 0) bigint::mul_pow5(left, uint32_t(q10));
    else bigint::mul_pow5(right_scale, uint32_t(-q10));

    for (;;) {
        if (bits >= inf_bits) return inf_bits;
        uint64_t m;
        int32_t e;
        unit_of(bits, m, e);
        // left * 2^q10 against (2m + 1) * right_scale * 2^(e - 1)
        Big l = left, r = right_scale;
        bigint::mul_u64(r, 2 * m + 1);
        const int64_t diff = q10 - (e - 1);
        if (diff >= 0) bigint::shift_left(l, uint32_t(diff));
        else bigint::shift_left(r, uint32_t(-diff));
        int c = bigint::compare(l, r);
        if (c == 0 && sticky) c = 1;
        if (c < 0) return bits;
        if (c == 0) return (m & 1) ? bits + 1 : bits;
        ++bits;
    }
}

// The bits of the double nearest y * 2^e.  With `above` the value is taken
// as a hair above y (y is only a lower bound of it), so a set rounding bit
// always rounds up; otherwise y is the value and a tie goes to even.
// `down` receives y rounded down.
uint64_t round_point(const U192& y, int32_t e, bool above, uint64_t& down) {
    const uint32_t top = float_pow10::bit_length(y);
    const int32_t e2 = e + int32_t(top) - 1;           // y in [2^e2, 2^(e2+1))
    if (e2 > 1023) return down = inf_bits;
    const int32_t mbits = e2 >= -1022 ? 53 : e2 + 1075;    // significant bits kept
    if (mbits < 0) return down = 0;                     // below half the smallest subnormal
    const uint32_t shift = top - uint32_t(mbits) - 1;   // bits below the rounding bit
    const uint64_t prefix = float_pow10::bits_at(y, shift) & ((uint64_t(2) << mbits) - 1);
    const uint64_t mant = prefix >> 1;
    down = (e2 >= -1022 ? uint64_t(e2 + 1022) << 52 : 0) + mant;
    bool up = prefix & 1;
    if (up && !above && float_pow10::low_bits_zero(y, shift)) up = mant & 1;   // a tie
    const uint64_t bits = down + uint64_t(up);
    return bits > inf_bits ? inf_bits : bits;
}

constexpr double exact_pow10[23] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                    1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                    1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// The magnitude of a Kind::number, correctly rounded.
double convert(const Number& n, bool fast) {
    if (n.count == 0) return 0.0;
    const int64_t point = n.exp10 + n.count;          // value in [10^(point-1), 10^point)
    if (point > 310) return from_bits(inf_bits);
    if (point < -324) return 0.0;                      // below 10^-325

    // The first 19 digits, gathered nine at a time in 32-bit arithmetic.
    const uint32_t wc = n.count < 19 ? n.count : 19;
    uint64_t w = 0;
    uint32_t chunk = 0, chunk_len = 0;
    each_digit(n, wc, [&](uint32_t d) {
        chunk = chunk * 10 + d;
        if (++chunk_len == 9) {
            w = w * 1000000000u + chunk;
            chunk = chunk_len = 0;
        }
    });
    if (chunk_len) w = w * pow10_u32[chunk_len] + chunk;
    const int32_t q = int32_t(point - wc);             // value = w.ddd * 10^q
    const bool truncated = n.count > wc;

    if (fast && !truncated && w <= (uint64_t(1) << 53)) {
        // Both factors exact: one correctly rounded operation.
        if (q >= 0 && q <= 22) return double(w) * exact_pow10[q];
        if (q < 0 && q >= -22) return double(w) / exact_pow10[-q];
        // A few more powers when w * 10^(q - 22) is still an exact double.
        if (q > 22 && q <= 22 + 15) {
            const uint64_t f = uint64_t(exact_pow10[q - 22]);
            if (w <= (uint64_t(1) << 53) / f) return double(w * f) * 1e22;
        }
    }

    // value * 2^-e lies in [w * T, (w + 1) * (T + 1)) (or [w * T, w * (T + 1))).
    const float_pow10::Pow10& t = float_pow10::pow10(q);
    const U192 lo = float_pow10::mul(w, t.t);
    const bool exact = !truncated && t.exact;
    // last: the largest integer below the range's upper end.
    U192 last = lo;
    if (truncated) {
        last = float_pow10::mul(w + 1, t.t);
        float_pow10::add(last, w);                     // + (w + 1) - 1
    } else if (!exact) {
        float_pow10::add(last, w - 1);
    }
    // Rounding is monotonic: when both ends of the range round alike, so
    // does everything between them.
    uint64_t down, unused;
    const uint64_t bits = round_point(lo, t.e, !exact, down);
    if (fast && (exact || round_point(last, t.e, true, unused) == bits)) return from_bits(bits);
    return from_bits(exact_round(n, down));
}

double parse(const char* start, const char* end, int32_t scale, int32_t* rest, bool fast) {
    if (!start || end <= start) {
        if (rest) *rest = 0;
        return 0.0;
    }
    if (end - start > max_number_text) {
        if (rest) *rest = int32_t(end - start);
        return 0.0;
    }
    Number n;
    const char* stop = scan(start, end, scale, n);
    if (rest) *rest = int32_t(end - stop);
    switch (n.kind) {
    case Kind::unsigned_zero:
        return 0.0;
    case Kind::nan:
        return from_bits(nan_bits);
    case Kind::infinity:
        return from_bits(inf_bits | (uint64_t(n.negative) << 63));
    case Kind::number:
        break;
    }
    const double magnitude = convert(n, fast);
    if (n.count == 0) return n.negative ? -0.0 : 0.0;
    // Underflow to zero keeps no sign.
    return n.negative ? 0.0 - magnitude : magnitude;
}

}  // namespace

double strtod(const char* start, const char* end, int32_t scale, int32_t* rest) {
    return parse(start, end, scale, rest, true);
}

namespace detail {
double strtod_exact(const char* start, const char* end, int32_t scale, int32_t* rest) {
    return parse(start, end, scale, rest, false);
}
}  // namespace detail

}  // namespace qor::float_text
