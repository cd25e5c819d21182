// float!: the text former and its modes, mold, the kernel and the typing
// of mixed operands, near-equality, rounding, conversions, random.
#include "datatypes/float.hpp"

#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "datatypes/eval_links.hpp"
#include "datatypes/block.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/number_hooks.hpp"
#include "datatypes/stack.hpp"
#include "datatypes/string.hpp"
#include "datatypes/time.hpp"
#include "memory_fixture.hpp"
#include "runtime_fixture.hpp"

namespace qor {
namespace {

using test::raised_by;

const double inf = std::numeric_limits<double>::infinity();
const double nan = std::numeric_limits<double>::quiet_NaN();

class FloatType : public testing::CoreTypesFixture {
protected:
    void register_types() override {
        integer::init();
        float_::init();
        time::init();
    }
    void SetUp() override {
        CoreTypesFixture::SetUp();
        float_::set_pretty(true);
    }
    void TearDown() override {
        float_::set_pretty(true);
        CoreTypesFixture::TearDown();
    }
};

Cell flt(double d, uint32_t type = TYPE_FLOAT) { return float_::make(d, type); }
Cell num(int32_t n) { return integer::make(n); }
Cell pct(double d) { return float_::make(d, TYPE_PERCENT); }

Cell arith(void (*action)(), Cell left, Cell right) {
    stack::seam_start_call();
    stack::push(&left);
    stack::push(&right);
    action();
    return *stack::arguments_base();
}

Cell convert(uint32_t target, Cell spec) {
    stack::seam_start_call();
    Cell proto = test::datatype_cell(target);
    Cell* a = stack::push(&proto);
    Cell* b = stack::push(&spec);
    Cell* result = float_make(a, b);
    EXPECT_EQ(result, stack::arguments_base());
    return *result;
}

Cell binary(const std::string& bytes) {
    Node node = memory::alloc_bytes(uint32_t(bytes.size()));
    SeriesBuffer* s = buffer_of(node);
    std::memcpy(s->head, bytes.data(), bytes.size());
    s->tail = s->head + bytes.size();
    Cell c{TYPE_BINARY, 0, 0, 0};
    set_cell_node(&c, node);
    return c;
}

std::string form_text(Cell value) {
    Cell out;
    string_new_output(&out);
    int32_t left = float_form(&value, &out, nullptr, 100);
    std::string text = string_text_of(&out);
    EXPECT_EQ(left, 100 - int32_t(text.size()));
    return text;
}

uint64_t bits(double d) {
    uint64_t b;
    std::memcpy(&b, &d, 8);
    return b;
}
double from_bits(uint64_t b) {
    double d;
    std::memcpy(&d, &b, 8);
    return d;
}

TEST_F(FloatType, FormOfFloat) {
    struct Case {
        double value;
        const char* pretty;
        const char* plain;
    } cases[] = {
        {1.0, "1.0", "1.0"},
        {1e-7, "1.0e-7", "1.0e-7"},
        {-1.5e300, "-1.5e300", "-1.5e300"},
        {1e-20, "0.0", "9.999999999999999e-21"},   // 16 digits, not cleaned up
        {-0.0, "0.0", "-0.0"},
        {0.1 + 0.7, "0.8", "0.7999999999999999"},
        {1.5e-20, "0.0", "1.5e-20"},
        {0.1 + 0.2, "0.3", "0.3"},
        {1e20, "1.0e20", "1.0e20"},
        {100.0, "100.0", "100.0"},
        {1.5e-5, "1.5e-5", "1.5e-5"},
        {123456789.0, "123456789.0", "123456789.0"},
        {1.2345678901234568e17, "1.234567890123457e17", "1.234567890123457e17"},
        // 16 digits ending in 01 or 99 are printed again with 14.
        {0.1234567890123401, "0.12345678901234", "0.1234567890123401"},
        {1.234567890123401e-10, "1.2345678901234e-10", "1.234567890123401e-10"},
        {1234567890123.499, "1234567890123.5", "1234567890123.499"},
        {inf, "1.#INF", "1.#INF"},
        {-inf, "-1.#INF", "-1.#INF"},
        {nan, "1.#NaN", "1.#NaN"},
        {1.0 / 0.0, "1.#INF", "1.#INF"},
    };
    for (const Case& c : cases) {
        float_::set_pretty(true);
        EXPECT_EQ(form_text(flt(c.value)), c.pretty) << c.plain;
        float_::set_pretty(false);
        EXPECT_EQ(form_text(flt(c.value)), c.plain) << c.plain;
    }
}

TEST_F(FloatType, FormModesOfOtherTypes) {
    struct Case {
        double value;
        int32_t mode;
        const char* text;
    } cases[] = {
        {12.5, float_::FORM_PERCENT, "12.5%"},
        {1234.5678, float_::FORM_PERCENT, "1234.5678%"},
        {0.0, float_::FORM_PERCENT, "0%"},
        {0.0, float_::FORM_PERCENT_ELEMENT, "0%"},
        {50.0, float_::FORM_PERCENT_ELEMENT, "50%"},
        {1.5, float_::FORM_COORDINATE, "1.5"},
        {2.0, float_::FORM_COORDINATE, "2"},
        {0.0, float_::FORM_COORDINATE, "0"},
        {1e10, float_::FORM_COORDINATE, "1e10"},
        {double(0.1f), float_::FORM_SINGLE, "0.1"},
        {3.0, float_::FORM_SINGLE, "3.0"},
        {1.2345678, float_::FORM_SECONDS, "1.23457"},
        {3.0, float_::FORM_SECONDS, "3"},
        {0.5, float_::FORM_SECONDS, "0.5"},
        {-inf, float_::FORM_PERCENT, "-1.#INF"},
    };
    for (const Case& c : cases)
        EXPECT_STREQ(float_::form_chars(c.value, c.mode), c.text) << c.value << " mode " << c.mode;
}

TEST_F(FloatType, MoldIsShortestRoundTrip) {
    struct Case {
        double value;
        const char* text;
    } cases[] = {
        {0.1 + 0.2, "0.30000000000000004"}, {1.0, "1.0"}, {0.1 + 0.7, "0.7999999999999999"},
        {1e20, "1.0e20"}, {-0.0, "-0.0"}, {1e-20, "1.0e-20"}, {inf, "1.#INF"}, {nan, "1.#NaN"},
        {5e-324, "5.0e-324"},
    };
    for (const Case& c : cases) EXPECT_EQ(test::mold_of(flt(c.value)), c.text);
}

TEST_F(FloatType, KernelAndOperandTyping) {
    // The cases of an unregistered pair! hold even when another suite of
    // this process has registered it.
    RegistryTables saved = registry::tables();
    registry::tables().actions[TYPE_PAIR][SLOT_ADD - 1] = ACTION_NONE;
    struct Case {
        void (*action)();
        Cell left, right;
        Cell expected;
    } cases[] = {
        {float_divide, flt(1.0), num(0), flt(inf)},
        {float_divide, flt(-1.0), flt(0.0), flt(-inf)},
        {float_remainder, flt(7.5), num(2), flt(1.5)},
        {float_remainder, flt(-7.5), num(2), flt(-1.5)},
        {float_remainder, flt(5.0), flt(inf), flt(5.0)},
        {float_add, flt(0.1), flt(0.2), flt(0.1 + 0.2)},
        {float_add, flt(1.0), Cell{TYPE_CHAR, 0, 2, 0}, flt(3.0)},
        {float_multiply, pct(0.1), num(5), pct(0.5)},              // 10% * 5 = 50%
        {float_add, pct(0.1), pct(0.2), pct(0.1 + 0.2)},
        {float_multiply, pct(0.5), flt(2.0), pct(1.0)},
        {float_add, flt(1.5), time::make(1.0), time::make(2.5)},   // 1.5 + 0:00:01
        {float_multiply, pct(0.5), time::make(10.0), time::make(5.0)},
        {float_add, time::make(1.0), time::make(2.0), time::make(3.0)},
        {float_multiply, time::make(3.0), num(2), time::make(6.0)},
    };
    for (const Case& c : cases) {
        Cell r = arith(c.action, c.left, c.right);
        EXPECT_EQ(type_of(&r), type_of(&c.expected)) << cell_float(&c.expected);
        EXPECT_EQ(cell_float(&r), cell_float(&c.expected));
    }
    Cell r = arith(float_divide, flt(0.0), num(0));
    EXPECT_TRUE(std::isnan(cell_float(&r)));
    r = arith(float_remainder, flt(5.0), flt(nan));
    EXPECT_TRUE(std::isnan(cell_float(&r)));
    r = arith(float_remainder, flt(inf), flt(inf));
    EXPECT_TRUE(std::isnan(cell_float(&r)));

    struct Bad {
        void (*action)();
        Cell left, right;
        const char* id;
    } bad[] = {
        {float_add, pct(0.1), Cell{TYPE_CHAR, 0, 1, 0}, "invalid-type"},
        {float_add, time::make(1), Cell{TYPE_CHAR, 0, 1, 0}, "invalid-type"},
        {float_add, flt(1.0), test::none_cell(), "invalid-type"},
        {float_subtract, flt(1.0), Cell{TYPE_PAIR, 0, 1, 1}, "not-related"},
        {float_divide, pct(0.1), Cell{TYPE_POINT2D, 0, 0, 0}, "not-related"},
        {float_add, time::make(1), Cell{TYPE_PAIR, 0, 1, 1}, "invalid-type"},
        {float_add, flt(1.0), Cell{TYPE_PAIR, 0, 1, 1}, "invalid-type"},   // pair! not registered
        {float_add, flt(1.0), Cell{TYPE_TUPLE, 0, 0, 0}, "invalid-type"},
    };
    for (const Bad& b : bad) {
        RaisedError e = raised_by([&] { arith(b.action, b.left, b.right); });
        EXPECT_EQ(e.id, b.id) << type_of(&b.left) << " " << type_of(&b.right);
    }
    RaisedError e = raised_by([] { float_::math_op(1.0, 2.0, MATH_AND); });
    EXPECT_EQ(e.id, "cannot-use");
    EXPECT_EQ(e.args[0].word, "and~");
    EXPECT_EQ(e.args[1].value.data1, uint32_t(TYPE_FLOAT));
    registry::tables() = saved;
}

// Doubles n units in the last place away from x.
double ulps(double x, int64_t n) { return from_bits(uint64_t(int64_t(bits(x)) + n)); }

TEST_F(FloatType, ComparisonAndNearEquality) {
    struct Case {
        Cell a, b;
        int32_t op;
        int32_t expected;
    } cases[] = {
        {flt(0.1 + 0.2), flt(0.3), COMP_EQUAL, 0},
        {flt(0.1 + 0.2), flt(0.3), COMP_STRICT_EQUAL, 1},
        {flt(0.1 + 0.2), flt(0.3), COMP_NOT_EQUAL, 0},
        {flt(0.0), flt(-0.0), COMP_SAME, 1},
        {flt(0.0), flt(-0.0), COMP_EQUAL, 0},
        {flt(0.0), flt(-0.0), COMP_STRICT_EQUAL, 0},
        {flt(1.0), flt(ulps(1.0, 10)), COMP_EQUAL, 0},
        {flt(1.0), flt(ulps(1.0, 11)), COMP_EQUAL, 1},
        {flt(1e300), flt(ulps(1e300, -10)), COMP_EQUAL, 0},
        {flt(nan), flt(nan), COMP_EQUAL, 1},
        {flt(nan), flt(1.0), COMP_LESSER, 1},              // lesser? is false
        {flt(nan), flt(1.0), COMP_LESSER_EQUAL, 1},
        {flt(nan), flt(1.0), COMP_GREATER, -1},            // greater? is false
        {flt(1.0), flt(nan), COMP_GREATER_EQUAL, -1},
        {flt(nan), flt(1.0), COMP_SORT, 0},
        {flt(1.0), flt(2.0), COMP_LESSER, -1},
        {flt(1.0), num(1), COMP_EQUAL, 0},
        {flt(1.0), num(1), COMP_STRICT_EQUAL, 1},
        {flt(1.0), pct(1.0), COMP_STRICT_EQUAL, 1},
        {flt(1.0), pct(1.0), COMP_EQUAL, 0},
        {flt(1.0), time::make(1.0), COMP_FIND, 1},
        {flt(1.0), Cell{TYPE_CHAR, 0, 1, 0}, COMP_EQUAL, COMPARE_INCOMPARABLE},
        {flt(1.0), test::none_cell(), COMP_LESSER, COMPARE_INCOMPARABLE},
        {flt(1.0), Cell{TYPE_MONEY, 0, 0, 0}, COMP_EQUAL, COMPARE_INCOMPARABLE},
        {flt(1e-6), Cell{TYPE_MONEY, 0, 0, 0}, COMP_EQUAL, COMPARE_INCOMPARABLE},
    };
    for (const Case& c : cases)
        EXPECT_EQ(test::compare_of(c.a, c.b, c.op), c.expected)
            << cell_float(&c.a) << " vs type " << type_of(&c.b) << " op " << c.op;

    EXPECT_TRUE(float_::near_equal_q(5e-324, -5e-324));
    EXPECT_TRUE(float_::near_equal_q(inf, inf));
    EXPECT_FALSE(float_::near_equal_q(1.0, -1.0));

    struct Single {
        float a, b;
        bool equal;
    } singles[] = {
        {1.0f, 1.0f, true},
        {1.0f, std::nextafter(1.0f, 2.0f), true},
        {0.0f, -0.0f, true},
        {1.0f, 1.0001f, false},
        {FLT_MAX, std::numeric_limits<float>::infinity(), true},
        {FLT_MAX, -FLT_MAX, false},
        {std::numeric_limits<float>::quiet_NaN(), 1.0f, false},
        {1e-45f, -1e-45f, true},
    };
    for (const Single& s : singles) EXPECT_EQ(float_::near_equal32_q(s.a, s.b), s.equal) << s.a << " " << s.b;
}

TEST_F(FloatType, Round) {
    enum Flag { NONE, EVEN, DOWN, HALF_DOWN, FLOOR, CEILING, HALF_CEILING };
    struct Case {
        Cell value;
        Cell scale;   // none: no /to
        Flag flag;
        Cell expected;
    } cases[] = {
        {flt(2.5), test::none_cell(), NONE, flt(3.0)},
        {flt(-2.5), test::none_cell(), NONE, flt(-3.0)},
        {flt(2.5), test::none_cell(), EVEN, flt(2.0)},
        {flt(3.5), test::none_cell(), EVEN, flt(4.0)},
        {flt(2.5), test::none_cell(), HALF_DOWN, flt(2.0)},
        {flt(-2.5), test::none_cell(), HALF_CEILING, flt(-2.0)},
        {flt(-2.1), test::none_cell(), FLOOR, flt(-3.0)},
        {flt(-2.9), test::none_cell(), CEILING, flt(-2.0)},
        {flt(-2.9), test::none_cell(), DOWN, flt(-2.0)},
        {flt(2.4), test::none_cell(), NONE, flt(2.0)},
        {flt(-0.4), test::none_cell(), NONE, flt(0.0)},      // 0.0 - floor(0.4)
        {flt(7.3), num(2), NONE, num(8)},
        {flt(1.2345), flt(0.01), NONE, flt(1.23)},
        {flt(1234.0), flt(100.0), NONE, flt(1200.0)},
        {flt(75.3), pct(0.5), NONE, pct(75.5)},
        {flt(100.0), time::make(60.0), NONE, time::make(120.0)},
        {pct(0.125), test::none_cell(), NONE, pct(0.13)},          // round 12.5% = 13%
        {flt(1e300), num(1), NONE, flt(1e300)},                    // far below the scale's reach
        {flt(1e-320), flt(5e-324), NONE, flt(1e-320)},             // subnormal scale
        {flt(3.0), flt(0.0), NONE, flt(3.0)},
    };
    for (const Case& c : cases) {
        Cell v = c.value, s = c.scale;
        bool to = type_of(&s) != TYPE_NONE;
        float_round(&v, to ? &s : nullptr, c.flag == EVEN, c.flag == DOWN, c.flag == HALF_DOWN,
                    c.flag == FLOOR, c.flag == CEILING, c.flag == HALF_CEILING);
        EXPECT_EQ(type_of(&v), type_of(&c.expected)) << cell_float(&c.value);
        if (type_of(&v) == TYPE_INTEGER) {
            EXPECT_EQ(integer::get_value(&v), integer::get_value(&c.expected));
        } else {
            EXPECT_EQ(bits(cell_float(&v)), bits(cell_float(&c.expected)))
                << cell_float(&c.value) << " gave " << cell_float(&v);
        }
    }
    struct Bad {
        Cell value, scale;
        const char* id;
    } bad[] = {
        {flt(1.0), Cell{TYPE_MONEY, 0, 0, 0}, "not-related"},
        {flt(DBL_MAX), flt(DBL_MAX), "overflow"},
        {flt(1e12), num(1000), "overflow"},    // no integer holds the result
        {flt(1.0), test::none_cell(), "invalid-arg"},
    };
    for (const Bad& b : bad) {
        RaisedError e = raised_by([&] {
            Cell v = b.value, s = b.scale;
            float_round(&v, &s, false, false, false, false, false, false);
        });
        EXPECT_EQ(e.id, b.id);
    }
}

TEST_F(FloatType, MakeAndTo) {
    struct Case {
        uint32_t target;
        Cell spec;
        double expected;
    } cases[] = {
        {TYPE_FLOAT, num(-3), -3.0},
        {TYPE_FLOAT, Cell{TYPE_CHAR, 0, 65, 0}, 65.0},
        {TYPE_FLOAT, time::make(90.5), 90.5},
        {TYPE_FLOAT, pct(0.5), 0.5},                    // to float! 50% = 0.5
        {TYPE_PERCENT, flt(0.25), 0.25},
        {TYPE_PERCENT, num(5), 5.0},
        {TYPE_FLOAT, string::from_utf8("1.5"), 1.5},
        {TYPE_FLOAT, string::from_utf8("1,5"), 1.5},
        {TYPE_FLOAT, string::from_utf8("-1'000.25"), -1000.25},
        {TYPE_FLOAT, string::from_utf8("1e3"), 1000.0},
        {TYPE_FLOAT, string::from_utf8("7"), 7.0},
        {TYPE_FLOAT, string::from_utf8(".5"), 0.5},
        {TYPE_FLOAT, binary(std::string("\x3F\xF0\0\0\0\0\0\0", 8)), 1.0},
        {TYPE_FLOAT, binary("\x01"), 5e-324},           // right-aligned
        {TYPE_FLOAT, binary(""), 0.0},
    };
    for (const Case& c : cases) {
        Cell r = convert(c.target, c.spec);
        EXPECT_EQ(type_of(&r), c.target) << c.expected;
        EXPECT_EQ(cell_float(&r), c.expected);
    }

    // Blocks: mantissa * 10 ** exponent.
    struct Pair {
        Cell m, e;
        double expected;
    } pairs[] = {{flt(1.5), num(3), 1500.0}, {num(2), num(-1), 0.2}, {num(5), flt(2.9), 500.0}};
    for (const Pair& p : pairs) {
        Cell block = block::make(2);
        block::append_copy(&block, &p.m);
        block::append_copy(&block, &p.e);
        Cell r = convert(TYPE_FLOAT, block);
        EXPECT_EQ(cell_float(&r), p.expected);
    }

    Cell one = block::make(1);
    Cell text = string::from_utf8("a");
    block::append_copy(&one, &text);
    Cell wrong = block::make(2);
    Cell n = num(1);
    block::append_copy(&wrong, &n);
    block::append_copy(&wrong, &text);
    struct Bad {
        Cell spec;
        uint32_t arg_type;
    } bad[] = {
        {string::from_utf8(""), TYPE_STRING},
        {string::from_utf8("abc"), TYPE_STRING},
        {string::from_utf8("1.5x"), TYPE_STRING},
        {string::from_utf8("1.#INF"), TYPE_STRING},
        {string::from_utf8("."), TYPE_STRING},
        {string::from_utf8(std::string(313, '1').c_str()), TYPE_STRING},
        {one, TYPE_BLOCK},
        {wrong, TYPE_STRING},    // the offending element is named
        {test::none_cell(), TYPE_NONE},
        {Cell{TYPE_MONEY, 0, 0, 0}, TYPE_MONEY},
    };
    for (const Bad& b : bad) {
        RaisedError e = raised_by([&] { convert(TYPE_FLOAT, b.spec); });
        EXPECT_EQ(e.id, "bad-to-arg");
        EXPECT_EQ(e.args[0].value.data1, uint32_t(TYPE_FLOAT));
        EXPECT_EQ(type_of(&e.args[1].value), b.arg_type);
    }
}

Cell g_loaded;
Cell* fake_load(Cell* text) {
    std::string s = string::to_utf8(text);
    if (s == "50%") g_loaded = pct(0.5);
    else if (s == "5") g_loaded = num(5);
    else g_loaded = string::from_utf8("word");
    return &g_loaded;
}

TEST_F(FloatType, PercentFromTextGoesThroughTheLoader) {
    number_hooks::Hooks saved = number_hooks::get();
    eval_links::get().load_value_from_string = fake_load;
    EXPECT_EQ(cell_float(&(g_loaded = convert(TYPE_PERCENT, string::from_utf8("50%")))), 0.5);
    EXPECT_EQ(cell_float(&(g_loaded = convert(TYPE_PERCENT, string::from_utf8("5")))), 5.0);
    RaisedError e = raised_by([] { convert(TYPE_PERCENT, string::from_utf8("x")); });
    EXPECT_EQ(e.id, "bad-to-arg");
    EXPECT_EQ(e.args[0].value.data1, uint32_t(TYPE_PERCENT));
    EXPECT_EQ(type_of(&e.args[1].value), TYPE_STRING);
    number_hooks::get() = saved;
}

TEST_F(FloatType, PowerAndUnaryActions) {
    Cell r = arith(float_power, flt(2.0), num(3));
    EXPECT_EQ(cell_float(&r), 8.0);
    r = arith(float_power, flt(4.0), flt(0.5));
    EXPECT_EQ(cell_float(&r), 2.0);
    r = arith(float_power, pct(0.5), num(2));
    EXPECT_EQ(type_of(&r), TYPE_PERCENT);
    EXPECT_EQ(cell_float(&r), 0.25);
    RaisedError e = raised_by([] { arith(float_power, flt(2.0), pct(0.5)); });
    EXPECT_EQ(e.id, "expect-arg");
    EXPECT_EQ(e.args[2].word, "exponent");

    Cell v = flt(0.0);
    float_negate(&v);
    EXPECT_EQ(bits(cell_float(&v)), bits(0.0));   // 0.0 - 0.0 is +0.0
    v = pct(0.5);
    float_negate(&v);
    EXPECT_EQ(type_of(&v), TYPE_PERCENT);
    EXPECT_EQ(cell_float(&v), -0.5);
    r = arith(float_absolute, flt(-0.0), test::none_cell());
    EXPECT_EQ(bits(cell_float(&r)), bits(0.0));
    r = arith(float_absolute, flt(-nan), test::none_cell());
    EXPECT_TRUE(std::isnan(cell_float(&r)));
    EXPECT_FALSE(std::signbit(cell_float(&r)));

    struct Parity {
        double value;
        bool even;
    } parity[] = {{2.5, true}, {-3.7, false}, {1e20, true}, {nan, true}, {-0.5, true}, {2147483647.9, false}};
    for (const Parity& p : parity) {
        Cell c = flt(p.value);
        EXPECT_EQ(float_even_q(&c), p.even) << p.value;
        EXPECT_EQ(float_odd_q(&c), !p.even) << p.value;
    }
}

TEST_F(FloatType, BitHelpers) {
    EXPECT_TRUE(float_::nan_or_inf_bits_q(nan));
    EXPECT_FALSE(float_::nan_or_inf_bits_q(inf));
    EXPECT_TRUE(float_::special_q(-inf));
    EXPECT_TRUE(float_::special_q(nan));
    EXPECT_FALSE(float_::special_q(DBL_MAX));
    EXPECT_TRUE(float_::nan32_q(std::numeric_limits<float>::quiet_NaN()));
    EXPECT_FALSE(float_::nan32_q(std::numeric_limits<float>::infinity()));
    EXPECT_EQ(float_::to_int_round(2.5), 3);
    EXPECT_EQ(float_::to_int_round(0.49999999999999994), 0);
    EXPECT_EQ(float_::to_int_round(-2.5), -2);
    EXPECT_EQ(float_::abs_from_halves(-3.0), 3.0);
    Cell i = num(4), f = flt(1.5), s = string::from_utf8("1");
    EXPECT_EQ(float_::number_value(&i), 4.0);
    EXPECT_EQ(float_::number_value(&f), 1.5);
    EXPECT_EQ(raised_by([&] { float_::number_value(&s); }).id, "bad-to-arg");
    stack::seam_start_call();
    Cell* pushed = float_::push_from_halves(0, 0x3FF00000u);
    EXPECT_EQ(cell_float(pushed), 1.0);
}

TEST_F(FloatType, Random) {
    Cell seed = flt(3.25);
    float_random(&seed, true, false, false);
    EXPECT_EQ(type_of(&seed), TYPE_UNSET);
    double first[10];
    for (double& x : first) {
        Cell c = flt(2.0);
        float_random(&c, false, false, false);
        x = cell_float(&c);
        EXPECT_GE(x, 0.0);
        EXPECT_LE(x, 2.0);
    }
    seed = flt(3.25);
    float_random(&seed, true, false, false);
    for (double x : first) {
        Cell c = flt(2.0);
        float_random(&c, false, false, false);
        EXPECT_EQ(cell_float(&c), x);
    }
    for (int i = 0; i < 20; ++i) {
        Cell c = pct(-1.0);
        float_random(&c, false, true, false);
        EXPECT_EQ(type_of(&c), TYPE_PERCENT);
        EXPECT_LE(cell_float(&c), 0.0);
        EXPECT_GE(cell_float(&c), -1.0);
    }
}

}  // namespace
}  // namespace qor
