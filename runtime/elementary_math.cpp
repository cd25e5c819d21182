// Elementary functions in double-double arithmetic.  A double-double (DD) is
// an unevaluated sum hi + lo with |lo| <= ulp(hi)/2; its operations below
// (Dekker and Knuth) lose about 2^-104 relative each.  The code depends on
// IEEE double arithmetic with round-to-nearest and no contraction into fused
// multiply-adds; both builds compile with SSE2 math and no FMA.
//
// Every function tries a fast path in doubles first (Ziv's strategy): it
// keeps the result as hi + lo with a bound on the error, and returns only
// when both ends of the bound round to the same double.  The plan of the
// double-double path, which settles the rest:
//   1. special values;
//   2. exact argument reduction into a small interval (by ln2/32 for exp,
//      to a mantissa near a table point for log, by pi/2 with all the bits
//      of 2/pi for sin/cos/tan, to a table point j/16 for atan);
//   3. a Taylor series of the small argument, its head in DD and its tail,
//      whose terms are below 2^-54 of the result, in plain doubles;
//   4. the table value and the scale put back in DD, and one final rounding.
#include "runtime/elementary_math.hpp"

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>

namespace qor::math {

namespace {

struct DD {
    double hi, lo;
};

#include "runtime/elementary_math_tables.inc"

constexpr double INF = std::numeric_limits<double>::infinity();
constexpr double NOT_A_NUMBER = std::numeric_limits<double>::quiet_NaN();
constexpr double SQRT_2 = 0x1.6a09e667f3bcdp+0;
constexpr DD ZERO = {0.0, 0.0};

// ---- Bits -----------------------------------------------------------------------------------

uint64_t bits_of(double x) { return std::bit_cast<uint64_t>(x); }
double from_bits(uint64_t b) { return std::bit_cast<double>(b); }

// 2^k for k in [-1022, 1023].
double pow2(int k) { return from_bits(uint64_t(k + 1023) << 52); }

// floor(log2 |x|) of a normal x.
int exponent_of(double x) { return int((bits_of(x) >> 52) & 0x7FF) - 1023; }

// x * 2^k in two exact steps; exact when the result is normal.
double scale(double x, int k) {
    int half = k / 2;
    return x * pow2(half) * pow2(k - half);
}

// Nearest integer of |x| < 2^51 (ties to even), by the rounding of the add.
double nearest(double x) { return (x + 0x1.8p52) - 0x1.8p52; }

// ---- Double-double operations ---------------------------------------------------------------

DD two_sum(double a, double b) {
    double s = a + b;
    double bb = s - a;
    return {s, (a - (s - bb)) + (b - bb)};
}

// REQUIRES: a == 0 or |a| >= |b|.
DD fast_two_sum(double a, double b) {
    double s = a + b;
    return {s, b - (s - a)};
}

// a = hi + lo with hi of 26 bits (Veltkamp).  REQUIRES: |a| < 2^995.
void split(double a, double* hi, double* lo) {
    double t = 134217729.0 * a;
    *hi = t - (t - a);
    *lo = a - *hi;
}

DD two_prod(double a, double b) {
    double p = a * b;
    double ah, al, bh, bl;
    split(a, &ah, &al);
    split(b, &bh, &bl);
    return {p, ((ah * bh - p) + ah * bl + al * bh) + al * bl};
}

DD add(DD a, DD b) {
    DD s = two_sum(a.hi, b.hi);
    DD t = two_sum(a.lo, b.lo);
    s.lo += t.hi;
    s = fast_two_sum(s.hi, s.lo);
    s.lo += t.lo;
    return fast_two_sum(s.hi, s.lo);
}

DD add(DD a, double b) {
    DD s = two_sum(a.hi, b);
    s.lo += a.lo;
    return fast_two_sum(s.hi, s.lo);
}

DD neg(DD a) { return {-a.hi, -a.lo}; }
DD sub(DD a, DD b) { return add(a, neg(b)); }

DD mul(DD a, DD b) {
    DD p = two_prod(a.hi, b.hi);
    p.lo += a.hi * b.lo + a.lo * b.hi;
    return fast_two_sum(p.hi, p.lo);
}

DD mul(DD a, double b) {
    DD p = two_prod(a.hi, b);
    p.lo += a.lo * b;
    return fast_two_sum(p.hi, p.lo);
}

// Three quotient digits, each from the exact remainder.
DD div(DD a, DD b) {
    double q1 = a.hi / b.hi;
    DD r = sub(a, mul(b, q1));
    double q2 = r.hi / b.hi;
    r = sub(r, mul(b, q2));
    double q3 = r.hi / b.hi;
    return add(fast_two_sum(q1, q2), q3);
}

// One Newton step from the IEEE root.
DD sqrt_dd(DD a) {
    double s = std::sqrt(a.hi);
    if (s == 0.0) return ZERO;
    DD e = sub(a, two_prod(s, s));
    return fast_two_sum(s, e.hi / (2.0 * s));
}

// sum c[i] z^i for i < n: terms from `n_dd` on in doubles (they are small
// enough that their rounding is below the DD error), the rest in DD.
DD series(const DD* c, int n_dd, int n, DD z) {
    int i = n - 1;
    DD p = c[i];
    if (n_dd < n) {
        double t = c[i].hi;
        for (--i; i >= n_dd; --i) t = t * z.hi + c[i].hi;
        p = {t, 0.0};
    } else {
        --i;
    }
    for (; i >= 0; --i) p = add(mul(p, z), c[i]);
    return p;
}

// hi + lo rounded to the nearest double when every value within `bound` of
// it rounds alike (Ziv's test); false when the rounding is left open.
bool round_if_certain(double hi, double lo, double bound, double* out) {
    double low = hi + (lo - bound), high = hi + (lo + bound);
    if (low != high) return false;
    *out = low;
    return true;
}

// ---- Exponential ---------------------------------------------------------------------------

// exp(x) = v * 2^k with v in [0.98, 2.02), for |x.hi| <= 746.
DD exp_reduced(DD x, int* k) {
    // 1. x = N ln2/32 + r, |r| <= ln2/64 plus the rounding of N.
    double n = nearest(x.hi * INV_LN2_32);
    DD r = two_sum(x.hi, -n * LN2_32[0]);
    r = add(r, x.lo);
    r = sub(r, two_prod(n, LN2_32[1]));
    r = add(r, -n * LN2_32[2]);
    // 2. exp(r) - 1 = r (1 + r/2! + ... + r^12/13!); terms from r^6 on are below 2^-60.
    DD p = mul(series(EXP_COEF + 1, 6, 13, r), r);
    // 3. 2^(j/32) exp(r).
    int32_t big_n = int32_t(n);
    const DD& t = EXP2_32[big_n & 31];
    *k = big_n >> 5;
    return add(t, mul(t, p));
}

// v * 2^k rounded once: v positive and normalised (hi = hi + lo rounded).
double round_scaled(DD v, int k) {
    int e = exponent_of(v.hi) + k;
    if (e >= -1022) return scale(v.hi, k);   // exact, or overflow to infinity
    // Subnormal: the scaling rounds.  hi alone decides, except when hi lies
    // exactly halfway between two subnormals; then lo breaks the tie.
    double r = v.hi * pow2(k + 600) * pow2(-600);
    double back = r * pow2(600) * pow2(-k - 600);
    double d = v.hi - back;                  // exact
    double quantum = pow2(-1074 - k);
    if (v.lo != 0.0 && 2.0 * std::fabs(d) == quantum) {
        if (d > 0.0 && v.lo > 0.0) r = from_bits(bits_of(r) + 1);
        else if (d < 0.0 && v.lo < 0.0) r = from_bits(bits_of(r) - 1);
    }
    return r;
}

// h + m + l rounded once, for |m| <= ulp(h)/2 and l much smaller: l decides
// when h + m lies exactly halfway between two doubles.
double round3(double h, double m, double l) {
    DD t = two_sum(m, l);
    double r = h + t.hi;
    double err = (h - r) + t.hi;   // exact
    if (err != 0.0 && t.lo != 0.0) {
        bool up = (err > 0.0) == (r > 0.0);
        double next = from_bits(bits_of(r) + (up ? 1 : -1));   // neighbour toward err
        if (next - r == 2.0 * err && (t.lo > 0.0) == (err > 0.0)) return next;
    }
    return r;
}

// exp of a DD argument, rounded; 0 and infinity outside the range.
double exp_dd(DD x) {
    if (x.hi > 709.8) return INF;
    if (x.hi < -745.2) return 0.0;
    // Near 0, 1 + x can be a tie between two doubles that only x^2/2 (below
    // the DD's reach) decides, as for x = 2^-53.
    if (std::fabs(x.hi) < 0x1p-50) return round3(1.0, x.hi, x.lo + 0.5 * x.hi * x.hi);
    int k;
    DD v = exp_reduced(x, &k);
    return round_scaled(v, k);
}

// exp(x + xl) for |x| < 700, |xl| <= ulp(x), in doubles with an error bound
// (Ziv's test): false when the bound leaves the rounding open (a few calls
// in a hundred); then the DD path decides.  `extra` is the relative error
// the argument brings.
//   error of r: N*LN2_32[1] rounded and N*LN2_32[2] dropped, < 2^-82;
//   q: truncation after r^7/7! < 2^-67, rounding < 2^-64.4;
//   lo: seven roundings of sums below 2^-13, < 2^-63.2;
// in all < 2^-62.3 of the result (measured: 2^-64.5); the test allows 2^-59.
bool exp_fast(double x, double xl, double extra, double* out) {
    double n = nearest(x * INV_LN2_32);
    double r0 = x - n * LN2_32[0];   // exact: x and n*LN2_32[0] are within a factor 2
    DD r = two_sum(r0, -(n * LN2_32[1]));
    r = two_sum(r.hi, r.lo + xl);
    double h = r.hi;
    double q = h * h * (EXP_COEF[2].hi + h * (EXP_COEF[3].hi + h * (EXP_COEF[4].hi +
               h * (EXP_COEF[5].hi + h * (EXP_COEF[6].hi + h * EXP_COEF[7].hi)))));
    int32_t big_n = int32_t(n);
    const DD& t = EXP2_32[big_n & 31];
    // t (1 + h + r.lo + q): the leading part exact, the rest summed in lo.
    DD a = two_prod(t.hi, h);
    DD s = fast_two_sum(t.hi, a.hi);
    double lo = s.lo + (a.lo + (t.lo + (t.hi * (r.lo + q) + t.lo * (h + q))));
    double rounded;
    if (!round_if_certain(s.hi, lo, s.hi * (0x1p-59 + extra), &rounded)) return false;
    *out = scale(rounded, big_n >> 5);
    return true;
}

// ---- Logarithm ------------------------------------------------------------------------------

// x = m 2^e for a positive normal x, with m in [sqrt(1/2), sqrt(2)): adds
// e to *e and answers m.
double split_near_one(double x, int* e) {
    uint64_t b = bits_of(x);
    *e += int(b >> 52) - 1023;
    double m = from_bits((b & 0x000FFFFFFFFFFFFFull) | 0x3FF0000000000000ull);
    if (m > SQRT_2) {
        m *= 0.5;
        *e += 1;
    }
    return m;
}

// log(x) for a positive finite x.
DD log_dd(double x) {
    int e = 0;
    if (x < 0x1p-1022) {
        x *= 0x1p54;
        e = -54;
    }
    // 1. x = m 2^e with m in [sqrt(1/2), sqrt(2)).
    double m = split_near_one(x, &e);
    // 2. m = c (1 + f/c), c = j/64 the nearest table point; log(m/c) = 2 atanh(s).
    int j = int(m * 64.0 + 0.5);
    double c = j / 64.0;
    DD s = div({m - c, 0.0}, two_sum(m, c));   // m - c is exact
    // 3. 2 s (1 + s^2/3 + s^4/5 + ...); |s| < 0.0056, terms from s^8 on below 2^-60.
    DD z = mul(s, s);
    DD q = mul(series(ODD_RECIP, 4, 8, z), s);
    q = {2.0 * q.hi, 2.0 * q.lo};
    // 4. e ln2 + log c + 2 atanh(s).
    double fe = e;
    DD l = add(two_prod(fe, LN2_PIECES[1]), fe * LN2_PIECES[0]);
    l = add(l, fe * LN2_PIECES[2]);
    return add(add(l, LOG_TABLE[j - LOG_TABLE_FIRST]), q);
}

// log(x) = hi + lo within 2^-66 relative, for a positive normal x, in
// doubles: as log_dd but with 2 atanh(s) = 2s + 2s^3/3 + ... summed after its
// leading term, s itself kept to 2^-100.  The errors: the tail's roundings
// below 2^-69 of the result, the seven roundings of lo below 2^-73, the
// dropped e*LN2_PIECES[2] below 2^-92.
void log_fast(double x, double* hi, double* lo) {
    int e = 0;
    double m = split_near_one(x, &e);
    int j = int(m * 64.0 + 0.5);
    double c = j / 64.0;
    double f = m - c;   // exact
    // s = f / (m + c) to about 2^-100: a quotient and its correction.
    DD d = two_sum(m, c);
    double s = f / d.hi;
    DD p = two_prod(s, d.hi);
    double s_lo = (((f - p.hi) - p.lo) - s * d.lo) / d.hi;
    double z = s * s;
    double tail = 2.0 * s * z * (ODD_RECIP[1].hi + z * (ODD_RECIP[2].hi + z * (ODD_RECIP[3].hi + z * ODD_RECIP[4].hi)));
    double fe = e;
    const DD& t = LOG_TABLE[j - LOG_TABLE_FIRST];
    DD a = two_sum(fe * LN2_PIECES[0], t.hi);
    DD sum = two_sum(a.hi, 2.0 * s);
    *hi = sum.hi;
    *lo = sum.lo + (a.lo + (fe * LN2_PIECES[1] + (t.lo + (2.0 * s_lo + tail))));
}

// log(x) times a DD constant, rounded, when the fast path settles it.
bool log_fast_scaled(double x, const DD& k, double* out) {
    if (x < 0x1p-1022) return false;
    double hi, lo;
    log_fast(x, &hi, &lo);
    DD p = two_prod(hi, k.hi);
    return round_if_certain(p.hi, p.lo + (hi * k.lo + lo * k.hi), std::fabs(p.hi) * 0x1p-61, out);
}

// The special values of the logarithms; false when x needs computing.
bool log_special(double x, double* out) {
    if (std::isnan(x)) *out = x;
    else if (x < 0.0) *out = NOT_A_NUMBER;
    else if (x == 0.0) *out = -INF;
    else if (std::isinf(x)) *out = x;
    else return false;
    return true;
}

// ---- Trigonometric reduction ----------------------------------------------------------------

// 32 bits of 2/pi from bit `start` (1 is the first bit after the point).
uint32_t two_over_pi_bits(int start) {
    int index = start - 1;
    int word = index / 32, shift = index % 32;
    uint32_t high = TWO_OVER_PI_BITS[word] << shift;
    return shift == 0 ? high : high | TWO_OVER_PI_BITS[word + 1] >> (32 - shift);
}

struct Reduced {
    DD r;          // x - quadrant * pi/2, |r| <= pi/4
    int quadrant;  // mod 4
};

// x = (4n + quadrant) pi/2 + r, for a finite x >= pi/4 (Payne and Hanek).
// x = M 2^E; bits of 2/pi before index E - 1 give multiples of 4 and are
// skipped; the 256 bits kept leave over 190 bits after the point, enough for
// the closest a double comes to a multiple of pi/2 (about 2^-61).
Reduced reduce_large(double x) {
    uint64_t b = bits_of(x);
    int e = int(b >> 52) - 1075;
    uint64_t m = (b & 0x000FFFFFFFFFFFFFull) | 0x0010000000000000ull;
    int first = e - 1 > 1 ? e - 1 : 1;

    // 1. P = M * G, G the 256 bits of 2/pi from `first`; words least significant first.
    uint32_t g[8];
    for (int w = 0; w < 8; ++w) g[7 - w] = two_over_pi_bits(first + 32 * w);
    uint32_t p[11] = {};
    for (int a = 0; a < 2; ++a) {
        uint64_t mw = a == 0 ? uint32_t(m) : uint32_t(m >> 32);
        uint64_t carry = 0;
        for (int i = 0; i < 8; ++i) {
            uint64_t t = uint64_t(g[i]) * mw + p[i + a] + carry;
            p[i + a] = uint32_t(t);
            carry = t >> 32;
        }
        p[8 + a] = uint32_t(carry);
    }
    // 2. x 2/pi = P 2^-point: the two bits above the point are the quadrant.
    int point = first + 255 - e;
    auto bit = [&](int i) { return (p[i / 32] >> (i % 32)) & 1u; };
    int quadrant = int(bit(point) | bit(point + 1) << 1);
    // 3. The fraction, rounded to the nearest quadrant: in [-1/2, 1/2].
    uint32_t f[11];
    for (int i = 0; i < 11; ++i) {
        int low = 32 * i;
        f[i] = low + 32 <= point ? p[i] : low >= point ? 0u : p[i] & ((1u << (point - low)) - 1u);
    }
    bool negative = bit(point - 1) != 0;
    if (negative) {
        ++quadrant;
        uint64_t carry = 1;   // 2^point - fraction, as the complement within `point` bits
        for (int i = 0; i < 11; ++i) {
            uint64_t t = uint64_t(~f[i]) + carry;
            f[i] = uint32_t(t);
            carry = t >> 32;
            int low = 32 * i;
            if (low + 32 > point) f[i] = low >= point ? 0u : f[i] & ((1u << (point - low)) - 1u);
        }
    }
    DD frac = ZERO;
    for (int i = 10; i >= 0; --i) {
        if (f[i] == 0) continue;
        int k = 32 * i - point;
        frac = add(frac, scale(double(f[i]), k));
    }
    // 4. r = fraction * pi/2.
    DD r = mul(frac, PI_2);
    return {negative ? neg(r) : r, quadrant & 3};
}

Reduced reduce(double ax) {
    if (ax < PI_4.hi) return {{ax, 0.0}, 0};
    return reduce_large(ax);
}

// ---- Trigonometric fast path -------------------------------------------------------------

// x = (4n + quadrant) pi/2 + rh + rl, within `error` (absolute), for finite x >= 0.
struct FastReduced {
    double rh, rl;
    int quadrant;
    double error;
};

// Below 2^20 by Cody and Waite with pi/2 in three pieces (the first two
// products exact, the third's rounding and the rest of pi/2 below 2^-100);
// above, the exact reduction.
FastReduced reduce_fast(double ax) {
    if (ax < PI_4.hi) return {ax, 0.0, 0, 0.0};
    if (ax < 0x1p20) {
        double n = nearest(ax * TWO_OVER_PI);
        double t = ax - n * PI_2_PIECES[0];   // exact: within a factor 2
        DD r = two_sum(t, -(n * PI_2_PIECES[1]));
        r = fast_two_sum(r.hi, r.lo - n * PI_2_PIECES[2]);
        return {r.hi, r.lo, int(int32_t(n) & 3), 0x1p-98};
    }
    Reduced red = reduce_large(ax);
    return {red.r.hi, red.r.lo, red.quadrant, std::fabs(red.r.hi) * 0x1p-100};
}

// sin r and cos r as hi + lo within 2^-62 of each, for r = rh + rl,
// |r| <= pi/4 + 2^-40: r = k/64 + b with |b| <= 1/128, sums of angles with
// the table, series in b to b^9 (sin) and b^8 (cos), truncated below 2^-80.
void sin_cos_fast(double rh, double rl, DD* sin_r, DD* cos_r) {
    double sign = 1.0;
    if (rh < 0.0) {
        rh = -rh;
        rl = -rl;
        sign = -1.0;
    }
    int k = int(rh * 64.0 + 0.5);
    double bh = rh - k / 64.0;   // exact: within a factor 2 of k/64
    double z = bh * bh;
    // sin b = bh + (rl + sin_tail), cos b = 1 + cos_m1 (the rl terms to first order).
    double sin_tail = bh * z * (SIN_COEF[1].hi + z * (SIN_COEF[2].hi + z * (SIN_COEF[3].hi + z * SIN_COEF[4].hi)));
    double cos_m1 = z * (COS_COEF[1].hi + z * (COS_COEF[2].hi + z * (COS_COEF[3].hi + z * COS_COEF[4].hi))) - bh * rl;
    double sin_rest = rl + sin_tail;
    const DD& s = SIN_TABLE[k];
    const DD& c = COS_TABLE[k];
    // sin r = s + c bh + (s cos_m1 + c sin_rest); |s| >= |c bh| unless s = 0.
    DD p = two_prod(c.hi, bh);
    DD a = fast_two_sum(s.hi, p.hi);
    double lo = a.lo + (p.lo + (s.lo + (c.lo * bh + (s.hi * cos_m1 + c.hi * sin_rest))));
    DD sum = fast_two_sum(a.hi, lo);   // normalised for the quotient of tan
    *sin_r = {sign * sum.hi, sign * sum.lo};
    // cos r = c - s bh + (c cos_m1 - s sin_rest); c >= 0.7 > |s bh|.
    DD q = two_prod(s.hi, bh);
    DD d = fast_two_sum(c.hi, -q.hi);
    double lo2 = d.lo + (-q.lo + (c.lo + (-s.lo * bh + (c.hi * cos_m1 - s.hi * sin_rest))));
    *cos_r = fast_two_sum(d.hi, lo2);
}

// sin (cosine false) or cos of ax >= 2^-27, rounded, when the fast path settles it.
bool sin_or_cos_fast(double ax, bool cosine, double* out) {
    FastReduced red = reduce_fast(ax);
    DD s, c;
    sin_cos_fast(red.rh, red.rl, &s, &c);
    int quadrant = red.quadrant + (cosine ? 1 : 0);
    DD v = quadrant & 1 ? c : s;
    if (quadrant & 2) v = neg(v);
    return round_if_certain(v.hi, v.lo, std::fabs(v.hi) * 0x1p-59 + red.error, out);
}

// tan of ax >= 2^-27, rounded, when the fast path settles it.
bool tan_fast(double ax, double* out) {
    FastReduced red = reduce_fast(ax);
    DD s, c;
    sin_cos_fast(red.rh, red.rl, &s, &c);
    DD num = s, den = c;
    if (red.quadrant & 1) {
        num = neg(c);
        den = s;
    }
    double q = num.hi / den.hi;
    DD p = two_prod(q, den.hi);
    double q_lo = (((num.hi - p.hi) - p.lo) + num.lo - q * den.lo) / den.hi;
    // A reduction error e moves tan by e (1 + tan^2) = e tan / (sin cos).
    double least = std::fabs(num.hi) < std::fabs(den.hi) ? std::fabs(num.hi) : std::fabs(den.hi);
    double bound = std::fabs(q) * (0x1p-58 + 2.0 * red.error / least);
    return round_if_certain(q, q_lo, bound, out);
}

// sin and cos of |r| <= pi/4: terms from z^9 on in doubles.
DD sin_dd(DD r) { return mul(series(SIN_COEF, 9, 15, mul(r, r)), r); }
DD cos_dd(DD r) { return series(COS_COEF, 9, 15, mul(r, r)); }

// ---- Arctangent -----------------------------------------------------------------------------

// atan(t) for 0 <= t <= 1: t = (c + u) / (1 - c u) around c = j/16, |u| <= 1/32.
DD atan_unit(DD t) {
    int j = int(t.hi * 16.0 + 0.5);
    DD u = t;
    if (j != 0) {
        double c = j / 16.0;
        u = div(add(t, -c), add(mul(t, c), 1.0));
    }
    // u (1 - u^2/3 + u^4/5 - ...); terms from u^10 on below 2^-53.
    DD z = neg(mul(u, u));
    return add(ATAN_TABLE[j], mul(series(ODD_RECIP, 5, 12, z), u));
}

// atan(num/den) in [0, pi/2] for positive DDs of moderate size.
DD atan_ratio(DD num, DD den) {
    if (num.hi <= den.hi) return atan_unit(div(num, den));
    return sub(PI_2, atan_unit(div(den, num)));
}

// The angle of (ax, ay) in [0, pi/2] for positive finite coordinates.
DD angle_of(double ax, double ay) {
    double big = ax > ay ? ax : ay;
    if (big < 0x1p-1000) {
        ax *= 0x1p1000;
        ay *= 0x1p1000;
        big *= 0x1p1000;
    }
    // One coordinate below 2^-60 of the other: atan(t) = t within 2^-120.
    if (ay < ax * 0x1p-60) return {ay / ax, 0.0};
    if (ax < ay * 0x1p-60) return add(PI_2, -(ax / ay));
    int k = -exponent_of(big);   // both now normal and near 1: exact
    return atan_ratio({scale(ay, k), 0.0}, {scale(ax, k), 0.0});
}

// atan2(ay, ax) for positive finite coordinates by the fast path, when it
// settles the rounding; false also when one coordinate is below 2^-60 of the
// other (angle_of then answers at once).
bool angle_of_fast(double ax, double ay, bool x_negative, double* out);

// sqrt(1 - a^2) for 0 <= a < 1, without cancellation.
DD cosine_of_sine(double a) { return sqrt_dd(mul(two_sum(1.0, -a), two_sum(1.0, a))); }

// ---- Arctangent fast path --------------------------------------------------------------------

// num/den to about 2^-100 for positive DDs: a quotient and one correction.
DD quotient(DD num, DD den) {
    double q = num.hi / den.hi;
    DD p = two_prod(q, den.hi);
    return {q, (((num.hi - p.hi) - p.lo) + num.lo - q * den.lo) / den.hi};
}

// atan(t) for t in [0, 1 + 2^-50] as hi + lo within 2^-63 of it, in
// doubles: t = (c + u) / (1 - c u) around c = j/16, |u| <= 1/32 + 2^-50,
// series to u^13 (truncation below 2^-74); the roundings in lo, of terms
// below 2^-11.6 of the result, stay under 2^-64.
void atan_fast_unit(DD t, double* hi, double* lo) {
    int j = int(t.hi * 16.0 + 0.5);
    DD u = t;
    if (j != 0) {
        double c = j / 16.0;
        DD den = add(add(two_prod(t.hi, c), c * t.lo), 1.0);
        u = quotient({t.hi - c, t.lo}, den);   // t.hi - c is exact: within a factor 2
    }
    double z = u.hi * u.hi;
    double tail = -u.hi * z * (ODD_RECIP[1].hi - z * (ODD_RECIP[2].hi - z * (ODD_RECIP[3].hi -
                  z * (ODD_RECIP[4].hi - z * (ODD_RECIP[5].hi - z * ODD_RECIP[6].hi)))));
    const DD& a = ATAN_TABLE[j];
    DD s = fast_two_sum(a.hi, u.hi);   // |a| >= 0.06 > |u| unless a = 0
    *hi = s.hi;
    *lo = s.lo + (a.lo + (u.lo + tail));
}

// base + sign atan(num/den), rounded, when the fast path settles it; num and
// den positive DDs of moderate size.
bool angle_fast(DD num, DD den, DD base, double sign, double* out) {
    if (num.hi > den.hi) {
        // atan(n/d) = pi/2 - atan(d/n)
        base = add(base, {sign * PI_2.hi, sign * PI_2.lo});
        sign = -sign;
        std::swap(num, den);
    }
    double hi, lo;
    atan_fast_unit(quotient(num, den), &hi, &lo);
    DD r = two_sum(base.hi, sign * hi);
    return round_if_certain(r.hi, r.lo + (base.lo + sign * lo), std::fabs(r.hi) * 0x1p-58, out);
}

// ---- Exact integer powers -------------------------------------------------------------------

// r 2^s rounded once to the nearest double, subnormals and overflow included.
double round_integer_scaled(uint64_t r, int64_t s) {
    int64_t top = 63 - std::countl_zero(r) + s;   // floor(log2) of the value
    if (top > 1023) return INF;
    if (top >= -1022) {
        // r to double with one rounding (its high word is exact), then an exact scaling.
        double v = double(uint32_t(r >> 32)) * 0x1p32 + double(uint32_t(r));
        return scale(v, int(s));
    }
    // Subnormal: r rounded to a multiple of 2^(-1074 - s), ties to even.
    int64_t shift = -1074 - s;
    if (shift <= 0) return scale(double(r << -shift), -1074);   // exact, below 2^53
    if (shift > 64) return 0.0;
    uint64_t q = shift == 64 ? 0 : r >> shift;
    uint64_t rest = shift == 64 ? r : r & ((uint64_t(1) << shift) - 1);
    uint64_t half = uint64_t(1) << (shift - 1);
    if (rest > half || (rest == half && (q & 1) != 0)) ++q;
    return scale(double(q), -1074);
}

// x^n for positive finite x and integer n when it is exact before rounding:
// x a power of two (any n), or 3 <= n <= 64 and the odd part of x's
// mantissa raised to n fits 64 bits.  One rounding, so the ties a DD result
// could miss (10^23, 2^-1075) come out right.
bool exact_power(double x, double n, double* out) {
    uint64_t b = bits_of(x);
    int e = int(b >> 52);
    uint64_t m = b & 0x000FFFFFFFFFFFFFull;
    if (e == 0) e = 1;   // subnormal
    else m |= 0x0010000000000000ull;
    e -= 1075;
    int zeros = std::countr_zero(m);
    m >>= zeros;
    e += zeros;
    uint64_t r = 1;
    if (m == 1) {
        if (std::fabs(n) > 0x1p20) return false;   // far out of range: the general path says 0 or infinity
    } else {
        if (n < 3.0 || n > 64.0) return false;
        for (int i = 0; i < int(n); ++i)
            if (__builtin_mul_overflow(r, m, &r)) return false;
    }
    *out = round_integer_scaled(r, int64_t(e) * int64_t(n));
    return true;
}

bool angle_of_fast(double ax, double ay, bool x_negative, double* out) {
    double big = ax > ay ? ax : ay;
    if (big < 0x1p-1000) {
        ax *= 0x1p1000;
        ay *= 0x1p1000;
        big *= 0x1p1000;
    }
    if (ay < ax * 0x1p-60 || ax < ay * 0x1p-60) return false;
    int k = -exponent_of(big);
    return angle_fast({scale(ay, k), 0.0}, {scale(ax, k), 0.0}, x_negative ? PI : ZERO,
                      x_negative ? -1.0 : 1.0, out);
}

}  // namespace

// ---- Public functions ------------------------------------------------------------------------

double exp(double x) {
    if (std::isnan(x)) return x;
    double fast;
    if (std::fabs(x) < 700.0 && exp_fast(x, 0.0, 0.0, &fast)) return fast;
    return exp_dd({x, 0.0});
}

double log(double x) {
    double special;
    if (log_special(x, &special)) return special;
    if (x >= 0x1p-1022) {
        double hi, lo, fast;
        log_fast(x, &hi, &lo);
        if (round_if_certain(hi, lo, std::fabs(hi) * 0x1p-62, &fast)) return fast;
    }
    return log_dd(x).hi;
}

double log2(double x) {
    double special;
    if (log_special(x, &special)) return special;
    if (log_fast_scaled(x, INV_LN2, &special)) return special;
    return mul(log_dd(x), INV_LN2).hi;
}

double log10(double x) {
    double special;
    if (log_special(x, &special)) return special;
    if (log_fast_scaled(x, INV_LN10, &special)) return special;
    return mul(log_dd(x), INV_LN10).hi;
}

double sin(double x) {
    if (std::isnan(x)) return x;
    if (std::isinf(x)) return NOT_A_NUMBER;
    double ax = std::fabs(x);
    if (ax < 0x1p-27) return x;   // sin x = x (1 - x^2/6) rounds to x
    double fast;
    if (sin_or_cos_fast(ax, false, &fast)) return x < 0 ? -fast : fast;
    Reduced red = reduce(ax);
    DD v = red.quadrant & 1 ? cos_dd(red.r) : sin_dd(red.r);
    double s = red.quadrant & 2 ? -v.hi : v.hi;
    return x < 0 ? -s : s;
}

double cos(double x) {
    if (std::isnan(x)) return x;
    if (std::isinf(x)) return NOT_A_NUMBER;
    double ax = std::fabs(x);
    if (ax < 0x1p-27) return 1.0;   // 1 - x^2/2 rounds to 1
    double fast;
    if (sin_or_cos_fast(ax, true, &fast)) return fast;
    Reduced red = reduce(ax);
    DD v = red.quadrant & 1 ? sin_dd(red.r) : cos_dd(red.r);
    return (red.quadrant + 1) & 2 ? -v.hi : v.hi;
}

double tan(double x) {
    if (std::isnan(x)) return x;
    if (std::isinf(x)) return NOT_A_NUMBER;
    double ax = std::fabs(x);
    if (ax < 0x1p-27) return x;   // tan x = x (1 + x^2/3) rounds to x
    double fast;
    if (tan_fast(ax, &fast)) return x < 0 ? -fast : fast;
    Reduced red = reduce(ax);
    DD s = sin_dd(red.r), c = cos_dd(red.r);
    double t = red.quadrant & 1 ? -div(c, s).hi : div(s, c).hi;
    return x < 0 ? -t : t;
}

double asin(double x) {
    if (std::isnan(x)) return x;
    double ax = std::fabs(x);
    if (ax > 1.0) return NOT_A_NUMBER;
    if (ax < 0x1p-27) return x;   // asin x = x (1 + x^2/6) rounds to x
    double a;
    if (ax == 1.0) {
        a = PI_2.hi;
    } else {
        DD c = cosine_of_sine(ax);
        if (!angle_fast({ax, 0.0}, c, ZERO, 1.0, &a)) a = atan_ratio({ax, 0.0}, c).hi;
    }
    return x < 0 ? -a : a;
}

double acos(double x) {
    if (std::isnan(x)) return x;
    double ax = std::fabs(x);
    if (ax > 1.0) return NOT_A_NUMBER;
    if (ax == 1.0) return x > 0 ? 0.0 : PI.hi;
    if (ax == 0.0) return PI_2.hi;
    DD c = cosine_of_sine(ax);
    double fast;
    if (angle_fast(c, {ax, 0.0}, x < 0 ? PI : ZERO, x < 0 ? -1.0 : 1.0, &fast)) return fast;
    DD a = atan_ratio(c, {ax, 0.0});
    return x < 0 ? sub(PI, a).hi : a.hi;
}

double atan(double x) {
    if (std::isnan(x)) return x;
    double ax = std::fabs(x);
    if (ax < 0x1p-27) return x;   // atan x = x (1 - x^2/3) rounds to x
    double a;
    if (ax <= 0x1p60 && angle_fast({ax, 0.0}, {1.0, 0.0}, ZERO, 1.0, &a)) return x < 0 ? -a : a;
    if (ax <= 1.0) a = atan_unit({ax, 0.0}).hi;
    else if (ax > 0x1p60) a = add(PI_2, -1.0 / ax).hi;   // atan(1/x) = 1/x within 2^-120
    else a = sub(PI_2, atan_unit(div({1.0, 0.0}, {ax, 0.0}))).hi;
    return x < 0 ? -a : a;
}

double atan2(double y, double x) {
    if (std::isnan(x) || std::isnan(y)) return x + y;
    double ax = std::fabs(x), ay = std::fabs(y);
    bool x_negative = std::signbit(x);
    DD a;
    if (ay == 0.0) {
        a = x_negative ? PI : ZERO;   // atan2(0, -0) is pi
    } else if (ax == 0.0) {
        a = PI_2;
    } else if (std::isinf(ay)) {
        a = std::isinf(ax) ? (x_negative ? PI_3_4 : PI_4) : PI_2;
    } else if (std::isinf(ax)) {
        a = x_negative ? PI : ZERO;
    } else {
        double fast;
        if (angle_of_fast(ax, ay, x_negative, &fast)) return std::signbit(y) ? -fast : fast;
        a = angle_of(ax, ay);
        if (x_negative) a = sub(PI, a);
    }
    return std::signbit(y) ? -a.hi : a.hi;
}

double pow(double x, double y) {
    // 1. Special values, in the order of C99 Annex F.
    if (y == 0.0 || x == 1.0) return 1.0;
    if (std::isnan(x) || std::isnan(y)) return x + y;
    double ay = std::fabs(y), ax = std::fabs(x);
    bool y_integer = std::trunc(y) == y;
    bool y_odd = y_integer && ay < 0x1p53 && (int64_t(y) & 1) != 0;
    if (std::isinf(y)) {
        if (ax == 1.0) return 1.0;
        return (ax < 1.0) == (y < 0.0) ? INF : 0.0;
    }
    if (x == 0.0) {
        if (y < 0.0) return y_odd ? std::copysign(INF, x) : INF;
        return y_odd ? x : 0.0;
    }
    if (std::isinf(x)) {
        double magnitude = y < 0.0 ? 0.0 : INF;
        return x < 0.0 && y_odd ? -magnitude : magnitude;
    }
    if (x < 0.0 && !y_integer) return NOT_A_NUMBER;
    double sign = x < 0.0 && y_odd ? -1.0 : 1.0;

    // 2. Powers that one IEEE operation rounds correctly, and exact ones.
    if (y == 1.0) return x;
    if (y == 2.0) return x * x;
    if (y == -1.0) return 1.0 / x;
    double exact;
    if (y_integer && exact_power(ax, y, &exact)) return sign * exact;

    // 3. exp(y log|x|); |y| >= 2^900 over- or underflows since |log x| >= 2^-53.
    if (ay >= 0x1p900) return (ax > 1.0) == (y > 0.0) ? sign * INF : sign * 0.0;
    if (ax >= 0x1p-1022) {
        // The fast path: log|x| within 2^-66, so y log|x| within 2^-65 of itself.
        double hi, lo, fast;
        log_fast(ax, &hi, &lo);
        DD t = two_prod(y, hi);
        t.lo += y * lo;
        t = fast_two_sum(t.hi, t.lo);
        if (std::fabs(t.hi) < 700.0 && exp_fast(t.hi, t.lo, std::fabs(t.hi) * 0x1p-63, &fast)) return sign * fast;
    }
    return sign * exp_dd(mul(log_dd(ax), y));
}

}  // namespace qor::math
