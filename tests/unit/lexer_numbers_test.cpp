// Text-to-number scanning: the lexer's integer and float rules, the parts
// of times, tuples and money, and the conversions of text values.
#include "datatypes/number_scan.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "runtime_fixture.hpp"

namespace qor {
namespace {

using namespace number_scan;

const uint8_t* b(const char* s) { return reinterpret_cast<const uint8_t*>(s); }
const uint8_t* e(const char* s) { return b(s) + std::strlen(s); }

TEST(NumberScan, LexerIntegers) {
    struct Case {
        const char* text;
        bool        separators;
        IntStatus   status;
        int32_t     value;
    } cases[] = {
        {"0", false, INT_OK, 0}, {"7", false, INT_OK, 7}, {"-7", false, INT_OK, -7},
        {"+12", false, INT_OK, 12}, {"2147483647", false, INT_OK, 2147483647},
        {"-2147483648", false, INT_OK, INT32_MIN}, {"-2147483647", false, INT_OK, -2147483647},
        {"2147483648", false, INT_AS_FLOAT, 0}, {"-2147483649", false, INT_AS_FLOAT, 0},
        {"00000000001", false, INT_AS_FLOAT, 0},          // 11 digits
        {"99999999999999999999", false, INT_AS_FLOAT, 0},
        {"1'000'000", true, INT_OK, 1000000}, {"1''0", true, INT_DOUBLE_QUOTE, 0},
        {"-2'147'483'648", true, INT_AS_FLOAT, 0},       // only the exact text fits
        {"1'0", false, INT_BAD_CHAR, 0}, {"-", false, INT_NO_DIGITS, 0}, {"", false, INT_NO_DIGITS, 0},
    };
    for (const Case& c : cases) {
        int32_t v = 0;
        EXPECT_EQ(lex_integer(b(c.text), e(c.text), c.separators, &v), c.status) << c.text;
        if (c.status == INT_OK) {
            EXPECT_EQ(v, c.value) << c.text;
        }
    }
}

TEST(NumberScan, FloatSyntax) {
    for (const char* ok : {"1", "1.", "1.5", ".5", "-.5", "+1", "1e5", "1E-5", "1.5e+10", "1'000.000'5", "0.0"})
        EXPECT_TRUE(float_syntax_ok(b(ok), e(ok))) << ok;
    for (const char* bad : {"", ".", "-", "1e", "1e+", "e5", "1.5.5", "1''0", "'1", "1'", "1.'5", "1e5.5", "1x",
                            "--1", "1e1'0"})
        EXPECT_FALSE(float_syntax_ok(b(bad), e(bad))) << bad;
    std::string long_text(313, '1');
    EXPECT_FALSE(float_syntax_ok(b(long_text.c_str()), e(long_text.c_str())));
    long_text.pop_back();
    EXPECT_TRUE(float_syntax_ok(b(long_text.c_str()), e(long_text.c_str())));

    double v = 0;
    EXPECT_TRUE(read_float(b("1'000.5"), e("1'000.5"), 0, &v));
    EXPECT_EQ(v, 1000.5);
    EXPECT_TRUE(read_float(b("12.5"), e("12.5"), -2, &v));
    EXPECT_EQ(v, 0.125);
    EXPECT_TRUE(read_special_float(b("-1.#inf"), e("-1.#inf"), &v));
    EXPECT_TRUE(std::isinf(v) && v < 0);
    EXPECT_TRUE(read_special_float(b("1.#NaN"), e("1.#NaN"), &v));
    EXPECT_TRUE(std::isnan(v));
    EXPECT_FALSE(read_special_float(b("2.#INF"), e("2.#INF"), &v));
    EXPECT_FALSE(read_special_float(b("1.#INFO"), e("1.#INFO"), &v));
}

TEST(NumberScan, TimePartsAndDigits) {
    const uint8_t* stop;
    int32_t status;
    const char* t = "1'000:30";
    EXPECT_EQ(time_part_integer(b(t), e(t), &stop, &status), 1000);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(*stop, ':');
    t = "-2147483648";
    EXPECT_EQ(time_part_integer(b(t), e(t), &stop, &status), INT32_MIN);
    EXPECT_EQ(status, 0);
    t = "2147483648";
    time_part_integer(b(t), e(t), &stop, &status);
    EXPECT_EQ(status, -5);

    t = "20001231";
    EXPECT_EQ(fixed_digits(b(t), e(t), 4, 4, &stop, &status), 2000);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(fixed_digits(b(t), b(t) + 2, 4, 4, &stop, &status), 20);
    EXPECT_EQ(status, -1);
    fixed_digits(b(t), b(t), 0, 4, &stop, &status);
    EXPECT_EQ(status, -2);
    t = "12.5x";
    EXPECT_EQ(fraction(b(t), e(t), &stop), 12.5);
    EXPECT_EQ(*stop, 'x');
}

TEST(NumberScan, Tuples) {
    uint8_t bytes[12];
    EXPECT_EQ(read_tuple(b("1.2.3"), e("1.2.3"), bytes), 3);
    EXPECT_EQ(bytes[2], 3);
    const char* twelve = "1.2.3.4.5.6.7.8.9.10.11.255";
    EXPECT_EQ(read_tuple(b(twelve), e(twelve), bytes), 12);
    EXPECT_EQ(bytes[11], 255);
    for (const char* bad : {"1.256.3", "1..2", "1.2.3.4.5.6.7.8.9.10.11.12.13", "1.2.x", ".1.2", "1000.1.1"})
        EXPECT_EQ(read_tuple(b(bad), e(bad), bytes), -1) << bad;
}

TEST(NumberScan, Money) {
    struct Case {
        const char* text;
        const char* currency;
        const char* integer;
        const char* fraction;
        bool        negative;
    } cases[] = {
        {"$1", "", "1", "", false}, {"-$1.50", "", "1", "50", true},
        {"USD$1'000.50", "USD", "1000", "50", false}, {"-eur$2,5", "EUR", "2", "5", true},
        {"$12345678901234567", "", "12345678901234567", "", false},
    };
    for (const Case& c : cases) {
        MoneyParts parts;
        ASSERT_TRUE(money_parts(b(c.text), e(c.text), false, &parts)) << c.text;
        EXPECT_STREQ(parts.currency, c.currency) << c.text;
        EXPECT_STREQ(parts.integer, c.integer) << c.text;
        EXPECT_STREQ(parts.fraction, c.fraction) << c.text;
        EXPECT_EQ(parts.negative, c.negative) << c.text;
    }
    for (const char* bad : {"$123456789012345678", "$1''0", "$1'", "$'1", "$.5", "$1.", "$1.123456", "US$1",
                            "USDX$1", "1", "$"}) {
        MoneyParts parts;
        EXPECT_FALSE(money_parts(b(bad), e(bad), false, &parts)) << bad;
    }
    char text[] = "usd$a{";
    ascii_upper(text);
    EXPECT_STREQ(text, "USD$A[");  // bytes above 96 lose 32
}

class NumberScanText : public test::RuntimeFixture {};

TEST_F(NumberScanText, StringToInteger) {
    struct Case {
        const char* text;
        int32_t     value;
        int32_t     status;
    } cases[] = {
        {"+12", 12, 0}, {"-12", -12, 0}, {"1'000", 1000, 0}, {"12a", 12, -1}, {"", 0, -1}, {"-", 0, -1},
        {"2147483647", 2147483647, 0}, {"2147483648", 0, -2}, {"-2147483648", INT32_MIN, 0},
        // Mended: a digit after the most negative value overflows.
        {"-21474836480", 0, -2}, {"-2147483648x", INT32_MIN, -1},
    };
    for (const Case& c : cases) {
        Cell s = string::from_utf8(c.text);
        gc::CellRoot keep(&s);
        int32_t status = 99;
        EXPECT_EQ(string_to_integer(&s, &status), c.value) << c.text;
        EXPECT_EQ(status, c.status) << c.text;
    }
    // Wide text is read through its unit.
    Cell wide = string::from_utf8("\xce\xb1" "12");
    gc::CellRoot keep(&wide);
    string::set_index(&wide, 1);
    int32_t status;
    EXPECT_EQ(string_to_integer(&wide, &status), 12);
    EXPECT_EQ(status, 0);
}

TEST_F(NumberScanText, StringToFloatTupleAndMoney) {
    struct Case {
        const char* text;
        double      value;
        int32_t     status;
    } cases[] = {
        {"1.5", 1.5, 0}, {"1,5", 1.5, 0}, {"-1'000.25", -1000.25, 0}, {"1e3", 1000.0, 0},
        {"1.5x", 0, -1}, {"", 0, -1}, {"\xc3\xa9", 0, -1},
    };
    for (const Case& c : cases) {
        Cell s = string::from_utf8(c.text);
        gc::CellRoot keep(&s);
        int32_t status = 99;
        double v = string_to_float(&s, &status);
        EXPECT_EQ(status, c.status) << c.text;
        if (c.status == 0) EXPECT_EQ(v, c.value) << c.text;
        else EXPECT_TRUE(std::isnan(v)) << c.text;
    }
    Cell t = string::from_utf8("10.20.30");
    gc::CellRoot keep_t(&t);
    uint8_t bytes[12];
    EXPECT_EQ(string_to_tuple(&t, bytes), 3);
    EXPECT_EQ(bytes[1], 20);
    MoneyParts parts;
    Cell m = string::from_utf8("12.50");
    gc::CellRoot keep_m(&m);
    EXPECT_TRUE(string_to_money_parts(&m, &parts));  // the $ may be left out of text
    EXPECT_STREQ(parts.fraction, "50");
    Cell code = string::from_utf8("USD1");
    gc::CellRoot keep_code(&code);
    EXPECT_FALSE(string_to_money_parts(&code, &parts));
}

}  // namespace
}  // namespace qor
