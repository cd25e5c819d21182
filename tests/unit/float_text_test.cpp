// Float to text: the digit generator, the language's layout and the
// system's own "%.Ng".  std::to_chars serves as an independent oracle: its
// shortest form is the shortest round-trip string nearest the value, and
// its general form with a precision is specified to print what printf's
// "%.*g" prints.
#include "runtime/float_to_text.hpp"
#include "runtime/text_to_float.hpp"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>

using namespace qor::float_text;

namespace {

double from_bits(uint64_t b) {
    double d;
    std::memcpy(&d, &b, 8);
    return d;
}

uint64_t bits_of(double d) {
    uint64_t b;
    std::memcpy(&b, &d, 8);
    return b;
}

struct Digits {
    std::string digits;
    int32_t decpt;
    bool operator==(const Digits&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Digits& d) {
    return os << d.digits << " x10^" << d.decpt;
}

Digits ours(double v, int32_t ndigits) {
    int32_t decpt, sign, length;
    const char* p = dtoa(v, ndigits, &decpt, &sign, &length, 0);
    return {std::string(p, size_t(length)), decpt};
}

Digits exact_path(double v, int32_t ndigits) {
    char out[max_digits + 2];
    int32_t decpt;
    int32_t n = detail::exact_digits(v, ndigits, out, &decpt);
    return {std::string(out, size_t(n)), decpt};
}

// The oracle's digits for a positive finite value, trailing zeros dropped.
Digits oracle(double v, int32_t ndigits) {
    char buf[128];
    auto r = ndigits <= 0
                 ? std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific)
                 : std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific, ndigits - 1);
    std::string s(buf, r.ptr);
    size_t e = s.find('e');
    Digits d{"", std::atoi(s.c_str() + e + 1) + 1};
    for (size_t i = 0; i < e; ++i)
        if (s[i] != '.') d.digits += s[i];
    while (d.digits.size() > 1 && d.digits.back() == '0') d.digits.pop_back();
    return d;
}

std::string oracle_g(double v, int precision) {
    char buf[128];
    auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, precision);
    return std::string(buf, r.ptr);
}

// Random finite doubles: uniform bit patterns, with extra weight on
// subnormals and on values near 1.
double random_double(std::mt19937_64& rng) {
    for (;;) {
        uint64_t b = rng();
        switch (rng() % 4) {
        case 1: b &= 0x800FFFFFFFFFFFFFull; break;                      // subnormal
        case 2: b = (b & 0x800FFFFFFFFFFFFFull) | (uint64_t(1000 + rng() % 48) << 52); break;
        default: break;
        }
        if (((b >> 52) & 0x7FF) != 0x7FF && (b << 1) != 0) return from_bits(b);
    }
}

constexpr int round_trip_count = 1000000;

}  // namespace

TEST(FloatForm, LayoutTable) {
    const double largest = std::numeric_limits<double>::max();
    const double tiny = std::numeric_limits<double>::denorm_min();
    struct Case {
        double value;
        int32_t ndigits, zero_form;
        const char* text;
    } cases[] = {
        {1.0, 0, 1, "1.0"},
        {100.0, 0, 1, "100.0"},
        {100.0, 0, 0, "100"},
        {0.1, 0, 1, "0.1"},
        {0.1 + 0.2, 0, 1, "0.30000000000000004"},
        {1e-7, 0, 1, "0.0000001"},
        {1e-8, 0, 1, "1.0e-8"},
        {1e-8, 0, 0, "1e-8"},
        {1e16, 0, 1, "10000000000000000.0"},
        {1e17, 0, 1, "1.0e17"},
        {1.5e300, 0, 1, "1.5e300"},
        {-2.5, 0, 1, "-2.5"},
        {largest, 0, 1, "1.7976931348623157e308"},
        {tiny, 0, 1, "5.0e-324"},
        {-tiny, 0, 0, "-5e-324"},
        {9007199254740994.0, 0, 1, "9007199254740994.0"},   // 2^53 + 2: sixteen digits
        {123456.789, 0, 1, "123456.789"},
        {0.1, 22, 1, "0.1000000000000000055511"},
        {2.5e-7, 6, 1, "0.00000025"},
        {2.5e-8, 6, 1, "2.5e-8"},
        {123456789.0, 6, 1, "123457000.0"},
        {123456789.0, 6, 0, "123457000"},
        {999999.5, 6, 0, "1000000"},                            // tie, odd: up a decade
        {0.0, 0, 1, "0.0"},
        {-0.0, 0, 1, "-0.0"},
        {0.0, 0, 0, "0"},
        {-0.0, 0, 0, "-0"},
        {HUGE_VAL, 0, 1, "1.#INF"},
        {-HUGE_VAL, 0, 0, "-1.#INF"},
        {std::nan(""), 0, 1, "1.#NaN"},
        {-std::nan(""), 0, 1, "1.#NaN"},
        {from_bits(0xFFF0000000000001ull), 16, 0, "1.#NaN"},    // signalling, sign set
    };
    for (const Case& c : cases) {
        EXPECT_STREQ(form(c.value, c.ndigits, c.zero_form), c.text)
            << c.value << " ndigits " << c.ndigits << " zero form " << c.zero_form;
    }
}

TEST(FloatForm, DtoaReportsDigitsSignAndMarks) {
    int32_t decpt = 0, sign = 0, length = 0;
    EXPECT_STREQ(dtoa(0.1, 22, &decpt, &sign, &length, 1), "1000000000000000055511");
    EXPECT_EQ(decpt, 0);
    EXPECT_EQ(length, 22);
    EXPECT_STREQ(dtoa(-123456789.0, 6, &decpt, &sign, &length, 1), "123457");
    EXPECT_EQ(decpt, 9);
    EXPECT_EQ(sign, 1);
    EXPECT_STREQ(dtoa(999999.5, 6, &decpt, &sign, &length, 1), "1");
    EXPECT_EQ(decpt, 7);
    EXPECT_STREQ(dtoa(std::numeric_limits<double>::denorm_min(), 0, &decpt, &sign, &length, 1), "5");
    EXPECT_EQ(decpt, -323);

    EXPECT_STREQ(dtoa(-HUGE_VAL, 0, &decpt, &sign, &length, 1), "-1.#INF");
    EXPECT_EQ(decpt, DECPT_SPECIAL);
    EXPECT_EQ(sign, 1);
    EXPECT_STREQ(dtoa(-std::nan(""), 0, &decpt, &sign, &length, 1), "1.#NaN");
    EXPECT_EQ(sign, 0);
    EXPECT_STREQ(dtoa(-0.0, 0, &decpt, &sign, &length, 1), "-0.0");
    EXPECT_EQ(decpt, DECPT_ZERO);
    EXPECT_EQ(sign, 1);
    EXPECT_STREQ(dtoa(0.0, 5, &decpt, &sign, &length, 0), "0");
}

// Requests beyond max_digits are served with max_digits, never past the
// buffers.
TEST(FloatForm, OverlongDigitRequestsAreCapped) {
    const double v = -1.0 / 3.0 * 1e-7;
    std::string text = form(v, 1000, 1);
    EXPECT_LT(text.size(), text_capacity);
    EXPECT_EQ(text, "-3.333333333333332741330712724672769020628e-8");
    EXPECT_EQ(format_g(v, 1000), format_g(v, max_digits));
    EXPECT_EQ(std::string(format_g(v, max_digits)), oracle_g(v, max_digits));
}

// Every finite double reads back from its shortest text, and the digits are
// the oracle's (fewest, then nearest).
TEST(FloatForm, ShortestRoundTripsRandomDoubles) {
    std::mt19937_64 rng(1234567);
    int failures = 0;
    for (int i = 0; i < round_trip_count && failures < 10; ++i) {
        const double v = random_double(rng);
        const char* text = form(v, 0, 1);
        const size_t len = std::strlen(text);
        int32_t rest = -1;
        const double back = strtod(text, text + len, 0, &rest);
        if (bits_of(back) != bits_of(v) || rest != 0) {
            ADD_FAILURE() << std::hexfloat << v << " formed " << text << " read back " << back;
            ++failures;
        }
        if (ours(std::fabs(v), 0) != oracle(std::fabs(v), 0)) {
            ADD_FAILURE() << std::hexfloat << v << ": " << ours(std::fabs(v), 0) << " expected "
                          << oracle(std::fabs(v), 0);
            ++failures;
        }
    }
}

// Both generators, fast and exact, against the oracle in every mode, on
// random values and on the values next to every power of two, where the
// gap below is half the gap above.
TEST(FloatForm, DigitsMatchOracleInEveryMode) {
    const int32_t modes[] = {0, 1, 2, 5, 7, 13, 14, 16, 17, 18, 19, 22, 30, 40};
    auto check = [&](double v) {
        for (int32_t n : modes) {
            const Digits want = oracle(v, n);
            EXPECT_EQ(ours(v, n), want) << std::hexfloat << v << " ndigits " << n;
            EXPECT_EQ(exact_path(v, n), want) << std::hexfloat << v << " ndigits " << n << " (exact)";
        }
    };
    for (uint64_t biased = 0; biased < 2047; biased += 3) {
        for (int64_t delta : {-1, 0, 1}) {
            const uint64_t b = (biased << 52) + uint64_t(delta);
            if (b != 0 && b != ~uint64_t(0) && (b >> 52) < 2047) check(from_bits(b));
        }
    }
    std::mt19937_64 rng(99);
    for (int i = 0; i < 3000; ++i) check(std::fabs(random_double(rng)));
}

TEST(FloatFormatG, MatchesPrintfTable) {
    struct Case {
        double value;
        int precision;
        const char* text;
    } cases[] = {
        {0.1 + 0.2, 16, "0.3"},
        {0.1 + 0.2, 17, "0.30000000000000004"},
        {1e20, 16, "1e+20"},
        {1e-5, 16, "1e-05"},
        {1e-4, 16, "0.0001"},
        {123456.0, 5, "1.2346e+05"},
        {99999.5, 5, "1e+05"},
        {0.5, 0, "0.5"},
        {100.0, 16, "100"},
        {-0.0, 7, "-0"},
        {1.5e300, 16, "1.5e+300"},
        {std::numeric_limits<double>::denorm_min(), 16, "4.940656458412465e-324"},
        {2.5, 1, "2"},               // a tie goes to even
        {3.5, 1, "4"},
        {0.125, 2, "0.12"},
        {1234567890123456789.0, 13, "1.234567890123e+18"},
        {HUGE_VAL, 16, "1.#INF"},
        {-HUGE_VAL, 7, "-1.#INF"},
        {std::nan(""), 13, "1.#NaN"},
    };
    for (const Case& c : cases)
        EXPECT_STREQ(format_g(c.value, c.precision), c.text) << c.value << " %." << c.precision << "g";
}

TEST(FloatFormatG, MatchesOracleOnRandomValues) {
    std::mt19937_64 rng(7);
    for (int i = 0; i < 20000; ++i) {
        // Alternate whole random doubles with decimals of a few digits,
        // which hit the ties and the decade carries.
        double v = (i & 1) ? random_double(rng)
                           : double(int64_t(rng() % 2000001) - 1000000) / double(1 + rng() % 1000);
        int precision = 1 + int(rng() % 17);
        ASSERT_EQ(std::string(format_g(v, precision)), oracle_g(v, precision))
            << std::hexfloat << v << " %." << precision << "g";
    }
}
