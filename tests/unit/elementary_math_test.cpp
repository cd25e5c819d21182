// The elementary functions: correctly rounded on a table of hard and random
// arguments whose results were computed with 300-bit arithmetic
// (tools/gen-elementary-math-cases.py), and the C99 special values.
#include "runtime/elementary_math.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

namespace math = qor::math;

namespace {

struct Case {
    const char* function;
    uint64_t x, y, expected;
};

constexpr Case CASES[] = {
#include "elementary_math_cases.inc"
};

double from_bits(uint64_t b) { return std::bit_cast<double>(b); }
uint64_t bits_of(double d) { return std::bit_cast<uint64_t>(d); }

double call(const std::string& f, double x, double y) {
    if (f == "exp") return math::exp(x);
    if (f == "log") return math::log(x);
    if (f == "log2") return math::log2(x);
    if (f == "log10") return math::log10(x);
    if (f == "sin") return math::sin(x);
    if (f == "cos") return math::cos(x);
    if (f == "tan") return math::tan(x);
    if (f == "asin") return math::asin(x);
    if (f == "acos") return math::acos(x);
    if (f == "atan") return math::atan(x);
    if (f == "atan2") return math::atan2(x, y);
    if (f == "pow") return math::pow(x, y);
    ADD_FAILURE() << "no function " << f;
    return 0.0;
}

TEST(ElementaryMath, CorrectlyRoundedOnTheTable) {
    int failures = 0;
    for (const Case& c : CASES) {
        double got = call(c.function, from_bits(c.x), from_bits(c.y));
        if (bits_of(got) != c.expected && ++failures <= 20) {
            ADD_FAILURE() << c.function << "(" << from_bits(c.x) << ", " << from_bits(c.y) << ") = " << got
                          << " (bits " << std::hex << bits_of(got) << "), expected " << from_bits(c.expected)
                          << " (bits " << c.expected << ")" << std::dec;
        }
    }
}

constexpr double INF = std::numeric_limits<double>::infinity();
constexpr double NAN_ = std::numeric_limits<double>::quiet_NaN();
constexpr double PI = 3.141592653589793;

// Expected results compared bit for bit, so the signs of zeros count; any
// NaN matches NaN.
void expect_same(double got, double expected, const std::string& what) {
    if (std::isnan(expected)) EXPECT_TRUE(std::isnan(got)) << what << " = " << got;
    else EXPECT_EQ(bits_of(got), bits_of(expected)) << what << " = " << got << ", expected " << expected;
}

TEST(ElementaryMath, SpecialValuesOfOneArgument) {
    struct Special { const char* f; double x, expected; };
    const Special table[] = {
        {"exp", INF, INF}, {"exp", -INF, 0.0}, {"exp", NAN_, NAN_}, {"exp", 0.0, 1.0}, {"exp", -0.0, 1.0},
        {"exp", 710.0, INF}, {"exp", -746.0, 0.0}, {"exp", 1e308, INF}, {"exp", -1e308, 0.0},
        {"log", 0.0, -INF}, {"log", -0.0, -INF}, {"log", -1.0, NAN_}, {"log", -INF, NAN_}, {"log", INF, INF},
        {"log", 1.0, 0.0}, {"log", NAN_, NAN_}, {"log2", 0.0, -INF}, {"log2", -2.0, NAN_}, {"log2", INF, INF},
        {"log10", 0.0, -INF}, {"log10", -10.0, NAN_}, {"log10", INF, INF},
        {"sin", 0.0, 0.0}, {"sin", -0.0, -0.0}, {"sin", INF, NAN_}, {"sin", -INF, NAN_}, {"sin", NAN_, NAN_},
        {"cos", 0.0, 1.0}, {"cos", -0.0, 1.0}, {"cos", INF, NAN_}, {"cos", NAN_, NAN_},
        {"tan", 0.0, 0.0}, {"tan", -0.0, -0.0}, {"tan", INF, NAN_}, {"tan", NAN_, NAN_},
        {"asin", 0.0, 0.0}, {"asin", -0.0, -0.0}, {"asin", 1.0000000000000002, NAN_}, {"asin", -2.0, NAN_},
        {"asin", INF, NAN_}, {"asin", 1.0, PI / 2}, {"asin", -1.0, -PI / 2},
        {"acos", 1.0, 0.0}, {"acos", -1.0, PI}, {"acos", 0.0, PI / 2}, {"acos", -0.0, PI / 2},
        {"acos", 2.0, NAN_}, {"acos", -INF, NAN_}, {"acos", NAN_, NAN_},
        {"atan", 0.0, 0.0}, {"atan", -0.0, -0.0}, {"atan", INF, PI / 2}, {"atan", -INF, -PI / 2},
        {"atan", NAN_, NAN_},
    };
    for (const Special& s : table) expect_same(call(s.f, s.x, 0.0), s.expected, std::string(s.f) + "(" + std::to_string(s.x) + ")");
}

TEST(ElementaryMath, SpecialValuesOfAtan2) {
    struct Special { double y, x, expected; };
    const Special table[] = {
        {0.0, 0.0, 0.0}, {-0.0, 0.0, -0.0}, {0.0, -0.0, PI}, {-0.0, -0.0, -PI},
        {0.0, -1.0, PI}, {-0.0, -1.0, -PI}, {0.0, 1.0, 0.0}, {-0.0, 1.0, -0.0},
        {1.0, 0.0, PI / 2}, {-1.0, -0.0, -PI / 2}, {INF, 1.0, PI / 2}, {-INF, -1.0, -PI / 2},
        {INF, INF, PI / 4}, {-INF, INF, -PI / 4}, {INF, -INF, 3 * PI / 4}, {-INF, -INF, -3 * PI / 4},
        {1.0, INF, 0.0}, {-1.0, INF, -0.0}, {1.0, -INF, PI}, {-1.0, -INF, -PI},
        {NAN_, 1.0, NAN_}, {1.0, NAN_, NAN_},
    };
    for (const Special& s : table)
        expect_same(math::atan2(s.y, s.x), s.expected, "atan2(" + std::to_string(s.y) + ", " + std::to_string(s.x) + ")");
}

TEST(ElementaryMath, SpecialValuesOfPow) {
    struct Special { double x, y, expected; };
    const Special table[] = {
        {NAN_, 0.0, 1.0}, {NAN_, -0.0, 1.0}, {1.0, NAN_, 1.0}, {1.0, INF, 1.0}, {NAN_, 1.0, NAN_}, {2.0, NAN_, NAN_},
        {0.0, -3.0, INF}, {-0.0, -3.0, -INF}, {-0.0, -2.0, INF}, {-0.0, -0.5, INF}, {0.0, -INF, INF},
        {0.0, 3.0, 0.0}, {-0.0, 3.0, -0.0}, {-0.0, 2.0, 0.0}, {-0.0, 0.5, 0.0},
        {-1.0, INF, 1.0}, {-1.0, -INF, 1.0}, {0.5, -INF, INF}, {2.0, -INF, 0.0}, {0.5, INF, 0.0}, {-2.0, INF, INF},
        {-INF, -3.0, -0.0}, {-INF, -2.0, 0.0}, {-INF, 3.0, -INF}, {-INF, 2.0, INF}, {-INF, 0.5, INF},
        {INF, -1.0, 0.0}, {INF, 0.5, INF},
        {-8.0, 1.0 / 3.0, NAN_}, {-2.0, 0.5, NAN_}, {-2.0, 3.0, -8.0}, {-2.0, -1.0, -0.5}, {-2.0, 1e300, INF},
        {-0.5, -1075.0, -INF}, {-2.0, -1075.0, -0.0}, {10.0, 23.0, 1e23}, {10.0, -300.0, 1e-300},
        {2.0, 1024.0, INF}, {2.0, -1074.0, 5e-324}, {2.0, -1075.0, 0.0}, {1.0000000000000002, 1e300, INF},
    };
    for (const Special& s : table)
        expect_same(math::pow(s.x, s.y), s.expected, "pow(" + std::to_string(s.x) + ", " + std::to_string(s.y) + ")");
}

// The values that the natives' degree handling relies on.
TEST(ElementaryMath, ExactWhereTheNativesNeedIt) {
    for (int k = -1074; k <= 1023; ++k) ASSERT_EQ(math::log2(std::ldexp(1.0, k)), double(k)) << k;
    double power = 1.0;
    for (int k = 0; k <= 22; ++k, power *= 10.0) ASSERT_EQ(math::log10(power), double(k)) << k;
    EXPECT_EQ(math::sin(0.0), 0.0);
    EXPECT_LT(std::fabs(math::cos(PI / 2)), 2.220446049250313e-16);   // flushed to 0 by cosine
    EXPECT_EQ(math::tan(PI / 4), 0.9999999999999999);
    EXPECT_EQ(math::atan(1.0) * 4, PI);
}

}  // namespace
