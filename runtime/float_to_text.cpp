#include "runtime/float_to_text.hpp"

#include <cstring>

#include "runtime/float_bigint.hpp"
#include "runtime/float_pow10.hpp"

namespace qor::float_text {
namespace {

using bigint::Big;
using float_pow10::Fixed;
using float_pow10::U192;

constexpr uint64_t hidden_bit = uint64_t(1) << 52;

constexpr uint64_t pow10_u64[20] = {
    1ull, 10ull, 100ull, 1000ull, 10000ull, 100000ull, 1000000ull, 10000000ull,
    100000000ull, 1000000000ull, 10000000000ull, 100000000000ull, 1000000000000ull,
    10000000000000ull, 100000000000000ull, 1000000000000000ull, 10000000000000000ull,
    100000000000000000ull, 1000000000000000000ull, 10000000000000000000ull};

// A finite positive double as c * 2^q, c including the hidden bit.
struct Parts {
    uint64_t c;
    int32_t q;
};

Parts split(uint64_t bits) {
    uint32_t biased = uint32_t(bits >> 52) & 0x7FF;
    uint64_t frac = bits & (hidden_bit - 1);
    if (biased == 0) return {frac, -1074};
    return {frac | hidden_bit, int32_t(biased) - 1075};
}

uint64_t bits_of(double v) {
    uint64_t b;
    std::memcpy(&b, &v, 8);
    return b;
}

int32_t bit_length64(uint64_t v) { return v ? 64 - __builtin_clzll(v) : 0; }

// floor(log10(c * 2^q)) or one less.
int32_t estimate_log10(const Parts& p) {
    return float_pow10::floor_log10_pow2(p.q + bit_length64(p.c) - 1);
}

// "00" to "99".
constexpr char digit_pairs[201] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Writes the eight digits of v < 10^8, leading zeros included.
void write8(char* out, uint32_t v) {
    for (int i = 6; i >= 0; i -= 2, v /= 100) std::memcpy(out + i, digit_pairs + 2 * (v % 100), 2);
}

// Writes the decimal digits of v (no leading zeros); answers their count.
int32_t write_u64(char* out, uint64_t v) {
    // Cut into pieces of eight digits, with few 64-bit divisions.
    uint32_t pieces[3];
    int32_t count = 0;
    while (v >= 100000000u) {
        uint64_t hi = v / 100000000u;
        pieces[count++] = uint32_t(v - hi * 100000000u);
        v = hi;
    }
    char head[8];
    write8(head, uint32_t(v));
    int32_t lead = 0;
    while (lead < 7 && head[lead] == '0') ++lead;
    int32_t n = 8 - lead;
    std::memcpy(out, head + lead, size_t(n));
    while (count > 0) {
        write8(out + n, pieces[--count]);
        n += 8;
    }
    return n;
}

// --- Fixed-point decisions with an error bound ---------------------------
// Each answers -1 when the bound leaves the answer open.

bool floor_known(const Fixed& x) { return x.err == 0 || x.f <= ~uint64_t(0) - x.err + 1; }

// 1 when X is an integer, 0 when it is not.
int is_integer(const Fixed& x) {
    if (!floor_known(x)) return -1;
    if (x.f != 0) return 0;
    return x.err == 0 ? 1 : -1;
}

// The sign of frac(X) - 1/2.
int compare_half(const Fixed& x) {
    const uint64_t half = uint64_t(1) << 63;
    if (!floor_known(x)) return -2;
    if (x.f > half) return 1;
    if (x.f == half) return x.err == 0 ? 0 : -2;
    if (x.err == 0 || x.f + x.err <= half) return -1;
    return -2;
}

// --- Shortest digits, fast path -------------------------------------------

// The interval of doubles that read back as v, scaled by 10^-k so that v
// has 18 or 19 integer digits; the answer is the integer in it with the
// most trailing zeros, nearest v.  Answers the digit count, or 0 when the
// error bound leaves a decision open.
int32_t shortest_fast(const Parts& p, char* out, int32_t* decpt) {
    const int32_t k = estimate_log10(p) - 17;
    const float_pow10::Pow10& t = float_pow10::pow10(-k);
    // Subnormals are shifted up to 53 bits, their half-gaps with them.
    const int32_t z = 53 - bit_length64(p.c);
    const uint64_t cb = p.c << (2 + z);
    const uint64_t gap = uint64_t(2) << z;
    const bool closer = (p.c == hidden_bit) && p.q > -1074;
    const bool inclusive = (p.c & 1) == 0;
    // v * 10^-k = cb * 2^(q-z-2) * T * 2^e: s fraction bits.
    const int32_t s = -(p.q - z - 2 + t.e);
    if (s < 64 + 56 || s > 190) return 0;

    const uint64_t gap_low = closer ? 1 : gap;
    const U192 pb = float_pow10::mul(cb, t.t);
    U192 pl, pr;
    if (z == 0) {   // normal values: the bounds are T or 2T away
        pl = pb;
        pr = pb;
        float_pow10::sub_mul(pl, t.t, uint32_t(gap_low));
        float_pow10::add_mul(pr, t.t, uint32_t(gap));
    } else {
        pl = float_pow10::mul(cb - gap_low, t.t);
        pr = float_pow10::mul(cb + gap, t.t);
    }
    // Each product is low by less than its factor, at most cb + gap.
    const uint64_t err = t.exact ? 0 : cb + gap;
    Fixed v = float_pow10::to_fixed(pb, uint32_t(s), err);
    Fixed lo = float_pow10::to_fixed(pl, uint32_t(s), err);
    Fixed hi = float_pow10::to_fixed(pr, uint32_t(s), err);
    if (v.i < pow10_u64[17] || v.i >= pow10_u64[19]) return 0;

    int lo_int = is_integer(lo), hi_int = is_integer(hi);
    if (lo_int < 0 || hi_int < 0 || !floor_known(v)) return 0;
    const uint64_t a = lo.i + ((lo_int && inclusive) ? 0 : 1);
    const uint64_t b = hi.i - ((hi_int && !inclusive) ? 1 : 0);
    if (a > b) return 0;

    // Any run of 10^j integers holds a multiple of 10^j; start there and
    // look further while the interval still holds one.
    int32_t j = 0;
    while (j < 18 && pow10_u64[j + 1] <= b - a + 1) ++j;
    uint64_t A = (a + pow10_u64[j] - 1) / pow10_u64[j], B = b / pow10_u64[j];
    while (j < 19) {
        uint64_t A1 = (A + 9) / 10, B1 = B / 10;
        if (A1 > B1) break;
        A = A1;
        B = B1;
        ++j;
    }

    uint64_t m = A;
    if (A != B) {
        // Round v / 10^j to nearest, ties to even, then keep it in [A, B].
        const uint64_t qv = v.i / pow10_u64[j];
        const uint64_t r = v.i - qv * pow10_u64[j];
        const uint64_t half = pow10_u64[j] / 2;
        bool up;
        if (j == 0) {
            int c = compare_half(v);
            if (c == -2) return 0;
            up = c > 0 || (c == 0 && (qv & 1));
        } else if (r != half) {
            up = r > half;
        } else {
            int whole = is_integer(v);
            if (whole < 0) return 0;
            up = !whole || (qv & 1);
        }
        m = qv + uint64_t(up);
        if (m < A) m = A;
        if (m > B) m = B;
    }
    int32_t n = write_u64(out, m);
    *decpt = n + k + j;
    return n;
}

// --- Fixed digits, fast path ----------------------------------------------

int32_t fixed_fast(const Parts& p, int32_t ndigits, char* out, int32_t* decpt) {
    int32_t k = estimate_log10(p) - ndigits + 1;
    for (int attempt = 0; attempt < 2; ++attempt, ++k) {
        const float_pow10::Pow10& t = float_pow10::pow10(-k);
        const int32_t z = 53 - bit_length64(p.c);   // subnormals: shift up
        const uint64_t cn = p.c << z;
        const int32_t s = -(p.q - z + t.e);
        if (s < 64 + 56 || s > 190) return 0;
        Fixed v = float_pow10::to_fixed(float_pow10::mul(cn, t.t), uint32_t(s), t.exact ? 0 : cn);
        if (!floor_known(v)) return 0;
        if (v.i >= pow10_u64[ndigits]) continue;   // the estimate was one low
        if (v.i < pow10_u64[ndigits - 1]) return 0;
        int c = compare_half(v);
        if (c == -2) return 0;
        uint64_t m = v.i + uint64_t(c > 0 || (c == 0 && (v.i & 1)));
        int32_t exp = k + ndigits;
        if (m == pow10_u64[ndigits]) {
            m = pow10_u64[ndigits - 1];
            ++exp;
        }
        while (m % 10 == 0) m /= 10;
        *decpt = exp;
        return write_u64(out, m);
    }
    return 0;
}

// --- Exact digits (big integers) ------------------------------------------

// Adds one to the last digit, carrying; all nines become "1" one place up.
int32_t round_up(char* out, int32_t n, int32_t* decpt) {
    int32_t i = n - 1;
    while (i >= 0 && out[i] == '9') --i;
    if (i < 0) {
        out[0] = '1';
        ++*decpt;
        return 1;
    }
    ++out[i];
    return i + 1;
}

int32_t exact(const Parts& p, int32_t ndigits, char* out, int32_t* decpt) {
    // value = r / s; the doubles next to it are m_plus / s above and
    // m_minus / s below (half their distances).
    Big r, s, m_plus, m_minus;
    const bool closer = (p.c == hidden_bit) && p.q > -1074;
    const uint32_t up2 = p.q > 0 ? uint32_t(p.q) : 0;
    const uint32_t down2 = p.q < 0 ? uint32_t(-p.q) : 0;
    bigint::set(r, p.c);
    bigint::shift_left(r, up2 + 1 + closer);
    bigint::set(s, 2);
    bigint::shift_left(s, down2 + closer);
    bigint::set(m_plus, 1);
    bigint::shift_left(m_plus, up2 + closer);
    bigint::set(m_minus, 1);
    bigint::shift_left(m_minus, up2);

    const bool shortest = ndigits <= 0;
    const bool even = (p.c & 1) == 0;
    int32_t k = estimate_log10(p) + 1;
    if (k >= 0) {
        bigint::mul_pow10(s, uint32_t(k));
    } else {
        bigint::mul_pow10(r, uint32_t(-k));
        bigint::mul_pow10(m_plus, uint32_t(-k));
        bigint::mul_pow10(m_minus, uint32_t(-k));
    }
    // Make k the least exponent with value (plus the upper half-gap in
    // shortest mode) below 10^k, so the first digit is in 1..9 (or the
    // carry case of shortest mode, where it is 0 and rounds up to 1).
    auto high_reaches = [&](const Big& scale) {
        int c = shortest ? bigint::compare_sum(r, m_plus, scale) : bigint::compare(r, scale);
        return shortest ? (even ? c >= 0 : c > 0) : c >= 0;
    };
    while (high_reaches(s)) {
        bigint::mul_small(s, 10);
        ++k;
    }
    for (;;) {
        Big s_low = s;                       // would k - 1 do as well?
        Big r10 = r, mp10 = m_plus;
        bigint::mul_small(r10, 10);
        bigint::mul_small(mp10, 10);
        bool reaches = shortest ? (even ? bigint::compare_sum(r10, mp10, s_low) >= 0
                                        : bigint::compare_sum(r10, mp10, s_low) > 0)
                                : bigint::compare(r10, s_low) >= 0;
        if (reaches) break;
        r = r10;
        m_plus = mp10;
        bigint::mul_small(m_minus, 10);
        --k;
    }
    uint32_t norm = bigint::normalize_shift(s);
    bigint::shift_left(s, norm);
    bigint::shift_left(r, norm);
    bigint::shift_left(m_plus, norm);
    bigint::shift_left(m_minus, norm);

    *decpt = k;
    int32_t n = 0;
    if (shortest) {
        for (;;) {
            bigint::mul_small(r, 10);
            bigint::mul_small(m_plus, 10);
            bigint::mul_small(m_minus, 10);
            uint32_t d = bigint::quo_rem(r, s);
            int lo_cmp = bigint::compare(r, m_minus);
            bool low_ok = even ? lo_cmp <= 0 : lo_cmp < 0;
            int hi_cmp = bigint::compare_sum(r, m_plus, s);
            bool high_ok = even ? hi_cmp >= 0 : hi_cmp > 0;
            if (!low_ok && !high_ok) {
                out[n++] = char('0' + d);
                continue;
            }
            bool up;
            if (low_ok && high_ok) {
                Big twice = r;
                bigint::shift_left(twice, 1);
                int c = bigint::compare(twice, s);
                up = c > 0 || (c == 0 && (d & 1));
            } else {
                up = high_ok;
            }
            out[n++] = char('0' + d);
            if (up) n = round_up(out, n, decpt);
            break;
        }
    } else {
        for (n = 0; n < ndigits; ++n) {
            bigint::mul_small(r, 10);
            out[n] = char('0' + bigint::quo_rem(r, s));
        }
        Big twice = r;
        bigint::shift_left(twice, 1);
        int c = bigint::compare(twice, s);
        if (c > 0 || (c == 0 && ((out[n - 1] - '0') & 1))) n = round_up(out, n, decpt);
    }
    while (n > 1 && out[n - 1] == '0') --n;
    return n;
}

// --- Static buffers and special texts -------------------------------------

char digit_buffer[max_digits + 8];
char form_buffer[text_capacity];
char g_buffer[text_capacity];

// Infinity, NaN and zero; nullptr for the other values.
const char* special_text(uint64_t bits, int32_t zero_form, int32_t* decpt, int32_t* sign) {
    const bool negative = bits >> 63;
    const uint64_t magnitude = bits & ~(uint64_t(1) << 63);
    if (magnitude >= 0x7FF0000000000000ull) {
        *decpt = DECPT_SPECIAL;
        if (magnitude > 0x7FF0000000000000ull) {
            *sign = 0;
            return "1.#NaN";
        }
        *sign = negative;
        return negative ? "-1.#INF" : "1.#INF";
    }
    if (magnitude == 0) {
        *decpt = DECPT_ZERO;
        *sign = negative;
        if (zero_form == 1) return negative ? "-0.0" : "0.0";
        return negative ? "-0" : "0";
    }
    return nullptr;
}

int32_t clamp_digits(int32_t ndigits) { return ndigits > max_digits ? max_digits : ndigits; }

size_t copy_text(char* out, const char* text) {
    size_t n = std::strlen(text);
    std::memcpy(out, text, n + 1);
    return n;
}

}  // namespace

namespace detail {

int32_t exact_digits(double value, int32_t ndigits, char* out, int32_t* decpt) {
    int32_t n = exact(split(bits_of(value)), clamp_digits(ndigits), out, decpt);
    out[n] = 0;
    return n;
}

int32_t digits(double value, int32_t ndigits, char* out, int32_t* decpt) {
    const Parts p = split(bits_of(value));
    ndigits = clamp_digits(ndigits);
    int32_t n = 0;
    if (ndigits <= 0) n = shortest_fast(p, out, decpt);
    else if (ndigits <= 18) n = fixed_fast(p, ndigits, out, decpt);
    if (n == 0) n = exact(p, ndigits, out, decpt);
    out[n] = 0;
    return n;
}

}  // namespace detail

const char* dtoa(double value, int32_t ndigits, int32_t* decpt, int32_t* sign,
                 int32_t* length, int32_t zero_form) {
    const uint64_t bits = bits_of(value);
    if (const char* text = special_text(bits, zero_form, decpt, sign)) {
        *length = int32_t(std::strlen(text));
        return text;
    }
    *sign = int32_t(bits >> 63);
    char* digits = digit_buffer + 1;
    *length = detail::digits(value < 0 ? -value : value, ndigits, digits, decpt);
    return digits;
}

size_t form_to(char* out, double value, int32_t ndigits, int32_t zero_form) {
    int32_t p, sign, n;
    char d[max_digits + 2];
    const uint64_t bits = bits_of(value);
    if (const char* text = special_text(bits, zero_form, &p, &sign)) return copy_text(out, text);
    n = detail::digits(value < 0 ? -value : value, ndigits, d, &p);

    char* o = out;
    if (bits >> 63) *o++ = '-';
    if (p > 17 || p < -6) {
        *o++ = d[0];
        if (n > 1) {
            *o++ = '.';
            std::memcpy(o, d + 1, size_t(n - 1));
            o += n - 1;
        } else if (zero_form == 1) {
            *o++ = '.';
            *o++ = '0';
        }
        *o++ = 'e';
        int32_t e = p - 1;
        if (e < 0) {
            *o++ = '-';
            e = -e;
        }
        o += write_u64(o, uint64_t(e));
    } else if (p <= 0) {
        *o++ = '0';
        *o++ = '.';
        for (int32_t i = 0; i < -p; ++i) *o++ = '0';
        std::memcpy(o, d, size_t(n));
        o += n;
    } else if (n <= p) {
        std::memcpy(o, d, size_t(n));
        o += n;
        for (int32_t i = n; i < p; ++i) *o++ = '0';
        if (zero_form == 1) {
            *o++ = '.';
            *o++ = '0';
        }
    } else {
        std::memcpy(o, d, size_t(p));
        o += p;
        *o++ = '.';
        std::memcpy(o, d + p, size_t(n - p));
        o += n - p;
    }
    *o = 0;
    return size_t(o - out);
}

const char* form(double value, int32_t ndigits, int32_t zero_form) {
    form_to(form_buffer, value, ndigits, zero_form);
    return form_buffer;
}

size_t format_g_to(char* out, double value, int32_t precision) {
    int32_t p, sign;
    char d[max_digits + 2];
    const uint64_t bits = bits_of(value);
    if (const char* text = special_text(bits, 0, &p, &sign)) return copy_text(out, text);
    precision = precision < 1 ? 1 : clamp_digits(precision);
    const int32_t n = detail::digits(value < 0 ? -value : value, precision, d, &p);

    char* o = out;
    if (bits >> 63) *o++ = '-';
    const int32_t x = p - 1;                 // the exponent of the e style
    if (x < -4 || x >= precision) {
        *o++ = d[0];
        if (n > 1) {
            *o++ = '.';
            std::memcpy(o, d + 1, size_t(n - 1));
            o += n - 1;
        }
        *o++ = 'e';
        *o++ = x < 0 ? '-' : '+';
        uint32_t e = uint32_t(x < 0 ? -x : x);
        if (e < 10) *o++ = '0';
        o += write_u64(o, e);
    } else if (p <= 0) {
        *o++ = '0';
        *o++ = '.';
        for (int32_t i = 0; i < -p; ++i) *o++ = '0';
        std::memcpy(o, d, size_t(n));
        o += n;
    } else {
        int32_t whole = n < p ? n : p;
        std::memcpy(o, d, size_t(whole));
        o += whole;
        for (int32_t i = n; i < p; ++i) *o++ = '0';
        if (n > p) {
            *o++ = '.';
            std::memcpy(o, d + p, size_t(n - p));
            o += n - p;
        }
    }
    *o = 0;
    return size_t(o - out);
}

const char* format_g(double value, int32_t precision) {
    format_g_to(g_buffer, value, precision);
    return g_buffer;
}

}  // namespace qor::float_text
