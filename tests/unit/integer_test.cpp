// integer!: checked arithmetic and promotion, the compound-operand seams,
// power, rounding, conversions, random, text and comparison.
#include "datatypes/integer.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <string>

#include "datatypes/float.hpp"
#include "datatypes/number_hooks.hpp"
#include "datatypes/stack.hpp"
#include "datatypes/string.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/time.hpp"
#include "memory_fixture.hpp"
#include "runtime_fixture.hpp"

namespace qor {
namespace {

using test::raised_by;

class IntegerType : public testing::CoreTypesFixture {
protected:
    void register_types() override {
        integer::init();
        float_::init();
        time::init();
    }
};

Cell num(int32_t n) { return integer::make(n); }
Cell flt(double d, uint32_t type = TYPE_FLOAT) { return float_::make(d, type); }
Cell char_cell(uint32_t cp) { return Cell{TYPE_CHAR, 0, cp, 0}; }

// Runs one direct action on the stand-in argument stack.
Cell arith(void (*action)(), Cell left, Cell right) {
    stack::seam_start_call();
    stack::push(&left);
    stack::push(&right);
    action();
    return *stack::arguments_base();
}

// Runs make or to with the datatype integer! as the prototype.
Cell convert(MakeFn fn, Cell spec) {
    stack::seam_start_call();
    Cell proto = test::datatype_cell(TYPE_INTEGER);
    Cell* a = stack::push(&proto);
    Cell* b = stack::push(&spec);
    Cell* result = fn(a, b);
    EXPECT_EQ(result, stack::arguments_base());
    return *result;
}

Cell binary(const std::string& bytes, uint32_t index = 0) {
    Node node = memory::alloc_bytes(uint32_t(bytes.size()));
    SeriesBuffer* s = buffer_of(node);
    std::memcpy(s->head, bytes.data(), bytes.size());
    s->tail = s->head + bytes.size();
    Cell c{TYPE_BINARY, index, 0, 0};
    set_cell_node(&c, node);
    return c;
}

Cell issue(const char* spelling) {
    return Cell{TYPE_ISSUE, 0, uint32_t(symbol::intern(spelling)), uint32_t(-1)};
}

void expect_integer(const Cell& c, int32_t n, const std::string& what) {
    EXPECT_EQ(type_of(&c), TYPE_INTEGER) << what;
    EXPECT_EQ(integer::get_value(&c), n) << what;
}

void expect_float(const Cell& c, double d, const std::string& what, uint32_t type = TYPE_FLOAT) {
    EXPECT_EQ(type_of(&c), type) << what;
    EXPECT_EQ(cell_float(&c), d) << what;
}

TEST_F(IntegerType, DecimalText) {
    struct Case {
        int32_t n;
        const char* text;
    } cases[] = {{0, "0"}, {7, "7"}, {-1, "-1"}, {10, "10"}, {2147483647, "2147483647"},
                 {-2147483647, "-2147483647"}, {INT32_MIN, "-2147483648"}, {1000000, "1000000"}};
    for (const Case& c : cases) {
        EXPECT_STREQ(integer::to_decimal_chars(c.n), c.text);
        EXPECT_EQ(test::form_of(num(c.n), 100), c.text);
        EXPECT_EQ(test::mold_of(num(c.n), true, 5), c.text);
    }
}

TEST_F(IntegerType, ArithmeticStaysIntegerOrPromotes) {
    struct Case {
        void (*action)();
        int32_t left;
        Cell right;
        Cell expected;
    } cases[] = {
        {integer_add, 2147483647, num(1), flt(2147483648.0)},
        {integer_add, 2147483646, num(1), num(2147483647)},
        {integer_subtract, INT32_MIN, num(1), flt(-2147483649.0)},
        {integer_subtract, 0, num(INT32_MIN), flt(2147483648.0)},
        {integer_multiply, 65536, num(65536), flt(4294967296.0)},
        {integer_multiply, -65536, num(32768), num(INT32_MIN)},
        {integer_divide, 7, num(2), flt(3.5)},
        {integer_divide, 6, num(3), num(2)},
        {integer_divide, -7, num(2), flt(-3.5)},
        {integer_divide, INT32_MIN, num(1), num(INT32_MIN)},
        {integer_remainder, -7, num(2), num(-1)},
        {integer_remainder, 7, num(-2), num(1)},
        {integer_remainder, INT32_MIN, num(2), num(0)},
        {integer_and, 12, num(10), num(8)},
        {integer_or, 12, num(10), num(14)},
        {integer_xor, 12, num(10), num(6)},
        {integer_xor, -1, num(INT32_MAX), num(INT32_MIN)},
        {integer_add, 64, char_cell('A'), num(129)},
        {integer_add, 1, flt(0.5), flt(1.5)},
        {integer_multiply, 5, flt(0.1, TYPE_PERCENT), flt(0.5)},       // 5 * 10% is a float
        {integer_add, 30, time::make(3600), time::make(3630)},         // 30 + 1:00:00
        {integer_remainder, 7, flt(2.5), flt(2.0)},
    };
    for (const Case& c : cases) {
        Cell r = arith(c.action, num(c.left), c.right);
        std::string what = std::to_string(c.left) + " type " + std::to_string(type_of(&c.right));
        EXPECT_EQ(type_of(&r), type_of(&c.expected)) << what;
        EXPECT_EQ(r.data2, c.expected.data2) << what;
        EXPECT_EQ(r.data3, c.expected.data3) << what;
    }
}

TEST_F(IntegerType, ArithmeticErrors) {
    // The cases of an unregistered pair! hold even when another suite of
    // this process has registered it.
    RegistryTables saved = registry::tables();
    registry::tables().actions[TYPE_PAIR][SLOT_ADD - 1] = ACTION_NONE;
    struct Case {
        void (*action)();
        int32_t left;
        Cell right;
        const char* category;
        const char* id;
    } cases[] = {
        {integer_divide, INT32_MIN, num(-1), "math", "overflow"},
        {integer_remainder, INT32_MIN, num(-1), "math", "overflow"},
        {integer_divide, 1, num(0), "math", "zero-divide"},
        {integer_remainder, 1, num(0), "math", "zero-divide"},
        {integer_remainder, 1, char_cell(0), "math", "zero-divide"},
        {integer_add, 1, test::none_cell(), "script", "invalid-type"},
        {integer_and, 1, flt(1.5), "script", "cannot-use"},       // reaches the float kernel
        {integer_divide, 1, Cell{TYPE_PAIR, 0, 1, 1}, "script", "not-related"},
        {integer_divide, 1, Cell{TYPE_POINT2D, 0, 0, 0}, "script", "not-related"},
        {integer_subtract, 1, Cell{TYPE_TUPLE, 1, 2, 3}, "script", "not-related"},
        {integer_multiply, 1, Cell{TYPE_DATE, 0, 0, 0}, "script", "not-related"},
        // Compound types that have not registered: the slot is empty.
        {integer_add, 1, Cell{TYPE_PAIR, 0, 1, 1}, "script", "invalid-type"},
        {integer_add, 1, Cell{TYPE_TUPLE, 1, 2, 3}, "script", "invalid-type"},
        {integer_add, 1, Cell{TYPE_MONEY, 0, 0, 0}, "script", "invalid-type"},
        {integer_add, 1, Cell{TYPE_VECTOR, 0, 0, 0}, "script", "invalid-type"},
    };
    for (const Case& c : cases) {
        RaisedError e = raised_by([&] { arith(c.action, num(c.left), c.right); });
        EXPECT_EQ(e.category, c.category) << c.left << " " << c.id;
        EXPECT_EQ(e.id, c.id) << c.left;
    }
    RaisedError e = raised_by([] { arith(integer_subtract, num(1), Cell{TYPE_DATE, 0, 0, 0}); });
    EXPECT_EQ(e.args[0].word, "subtract");
    EXPECT_EQ(e.args[1].value.data1, uint32_t(TYPE_INTEGER));
    e = raised_by([] { arith(integer_divide, num(1), Cell{TYPE_TUPLE, 1, 2, 3}); });
    EXPECT_EQ(e.args[0].word, "divide");
    registry::tables() = saved;
}

TEST_F(IntegerType, KernelWithoutResultCell) {
    EXPECT_EQ(integer::math_op(7, 2, MATH_DIVIDE, nullptr), 3);
    EXPECT_EQ(integer::math_op(-7, 2, MATH_DIVIDE, nullptr), -3);
    EXPECT_EQ(raised_by([] { integer::math_op(INT32_MAX, 1, MATH_ADD, nullptr); }).id, "overflow");
    // With a cell only word 2 changes, so a scratch char! cell stays a char!.
    Cell scratch = char_cell('a');
    EXPECT_EQ(integer::math_op('a', 1, MATH_ADD, &scratch), 'b');
    EXPECT_EQ(type_of(&scratch), TYPE_CHAR);
    EXPECT_EQ(scratch.data2, uint32_t('b'));
}

// A stand-in compound type records how integer arithmetic hands it over.
struct Seen {
    Cell left, right;
    int negated = 0;
    int added = 0;
} g_seen;

void fake_add() {
    Cell* base = stack::arguments_base();
    g_seen.left = base[0];
    g_seen.right = base[1];
    g_seen.added++;
}
Cell* fake_negate(Cell* value) {
    g_seen.negated++;
    value->data2 = uint32_t(-int32_t(value->data2));
    return value;
}

TEST_F(IntegerType, CompoundRightOperandIsSwappedAndHandedOver) {
    RegistryTables saved = registry::tables();
    for (uint32_t type : {uint32_t(TYPE_PAIR), uint32_t(TYPE_DATE)}) {
        TypeSpec spec = make_type_spec(type);
        set_slot<SLOT_ADD>(spec, fake_add);
        set_slot<SLOT_NEGATE>(spec, fake_negate);
        install_datatype(TYPE_SPEC_WORDS, &spec);
    }
    g_seen = {};
    arith(integer_subtract, num(10), Cell{TYPE_PAIR, 0, 3, 4});   // 10 - p = (-p) + 10
    EXPECT_EQ(g_seen.negated, 1);
    EXPECT_EQ(g_seen.added, 1);
    EXPECT_EQ(type_of(&g_seen.left), TYPE_PAIR);
    EXPECT_EQ(int32_t(g_seen.left.data2), -3);
    expect_integer(g_seen.right, 10, "old left operand");

    g_seen = {};
    arith(integer_add, num(5), Cell{TYPE_DATE, 9, 0, 0});
    EXPECT_EQ(g_seen.negated, 0);
    EXPECT_EQ(type_of(&g_seen.left), TYPE_DATE);
    expect_integer(g_seen.right, 5, "days");
    registry::tables() = saved;
}

TEST_F(IntegerType, Power) {
    struct Case {
        int32_t base;
        Cell exponent;
        Cell expected;
    } cases[] = {
        {2, num(31), flt(2147483648.0)},
        {2, num(30), num(1073741824)},
        {-2, num(31), num(INT32_MIN)},
        {3, num(20), flt(3486784401.0)},
        {2, num(-1), flt(0.5)},
        {0, num(0), num(1)},
        {7, num(1), num(7)},
        {-1, num(INT32_MAX), num(-1)},
        {46341, num(2), flt(2147488281.0)},
        {65536, num(1), num(65536)},     // squaring past the last step is harmless
        {4, flt(0.5), flt(2.0)},
    };
    for (const Case& c : cases) {
        Cell r = arith(integer_power, num(c.base), c.exponent);
        std::string what = std::to_string(c.base) + " ** " + std::to_string(c.exponent.data2);
        EXPECT_EQ(type_of(&r), type_of(&c.expected)) << what;
        EXPECT_EQ(r.data2, c.expected.data2) << what;
        EXPECT_EQ(r.data3, c.expected.data3) << what;
    }
    RaisedError e = raised_by([] { arith(integer_power, num(2), test::none_cell()); });
    EXPECT_EQ(e.id, "expect-arg");
    EXPECT_EQ(e.args[0].word, "power");
    EXPECT_EQ(e.args[1].value.data1, uint32_t(TYPE_NONE));
    EXPECT_EQ(e.args[2].word, "exponent");
}

TEST_F(IntegerType, Round) {
    enum Flag { NONE, EVEN, DOWN, HALF_DOWN, FLOOR, CEILING, HALF_CEILING };
    struct Case {
        int32_t n;
        int32_t scale;   // 0 here means no /to
        Flag flag;
        int32_t expected;
    } cases[] = {
        {15, 10, NONE, 20},          {-15, 10, NONE, -20},       {25, 10, EVEN, 20},
        {35, 10, EVEN, 40},          {-15, 10, HALF_CEILING, -10}, {15, 10, HALF_CEILING, 20},
        {-11, 10, FLOOR, -20},       {11, 10, FLOOR, 10},        {-11, 10, CEILING, -10},
        {11, 10, CEILING, 20},       {-19, 10, DOWN, -10},       {19, 10, DOWN, 10},
        {14, 10, NONE, 10},          {16, -10, NONE, 20},        {15, 10, HALF_DOWN, 10},
        {-15, 10, HALF_DOWN, -10},   {7, 1, NONE, 7},            {INT32_MIN, 10, NONE, INT32_MIN},
        {2147483647, 10, DOWN, 2147483640},
    };
    for (const Case& c : cases) {
        Cell value = num(c.n);
        Cell scale = num(c.scale);
        integer_round(&value, c.scale ? &scale : nullptr, c.flag == EVEN, c.flag == DOWN,
                      c.flag == HALF_DOWN, c.flag == FLOOR, c.flag == CEILING, c.flag == HALF_CEILING);
        expect_integer(value, c.expected, std::to_string(c.n) + " / " + std::to_string(c.scale));
    }
    // A zero scale leaves the value alone.
    Cell value = num(7), zero = num(0);
    integer_round(&value, &zero, false, false, false, false, false, false);
    expect_integer(value, 7, "round/to 7 0");

    struct Overflow {
        int32_t n, scale;
        Flag flag;
    } overflows[] = {
        {2147483647, 2, FLOOR},          // the upward distance is checked before the sign
        {2147483647, 10, NONE},
        {-2147483647, 10, CEILING},
        {2147483645, 10, EVEN},          // a rule that may round up checks first
        {5, INT32_MIN, NONE},            // |scale| itself
    };
    for (const Overflow& c : overflows) {
        RaisedError e = raised_by([&] {
            Cell v = num(c.n), s = num(c.scale);
            integer_round(&v, &s, c.flag == EVEN, false, false, c.flag == FLOOR, c.flag == CEILING, false);
        });
        EXPECT_EQ(e.id, "overflow") << c.n << " " << c.scale;
    }
    // A float scale rounds as a float; a money scale is refused.
    value = num(7);
    Cell half = flt(0.5);
    integer_round(&value, &half, false, false, false, false, false, false);
    expect_float(value, 7.0, "round/to 7 0.5");
    RaisedError e = raised_by([] {
        Cell v = num(1), money{TYPE_MONEY, 0, 0, 0};
        integer_round(&v, &money, false, false, false, false, false, false);
    });
    EXPECT_EQ(e.id, "not-related");
    EXPECT_EQ(e.args[0].word, "round");
    EXPECT_EQ(e.args[1].value.data1, uint32_t(TYPE_MONEY));
}

TEST_F(IntegerType, ToAndMake) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        Cell spec;
        int32_t expected;
    } cases[] = {
        {num(42), 42},
        {char_cell('A'), 65},
        {flt(2147483647.0), 2147483647},
        {flt(-2147483648.0), INT32_MIN},
        {flt(2.7), 2},
        {flt(-2.7), -2},
        {flt(0.5, TYPE_PERCENT), 0},
        {time::make(1.5), 2},
        {time::make(-1.7), -1},
        {binary("\xFF\xFF\xFF\xFF"), -1},
        {binary("\x01\x02\x03\x04\x05"), 16909060},
        {binary("\x01\x02"), 258},
        {binary(""), 0},
        {binary("\x01\x02\x03", 1), 0x0203},
        {binary("\x01\x02", 5), 0},
        {issue("FF"), 255},
        {issue("ffffffff"), -1},
        {issue("0"), 0},
        {string::from_utf8("1'000"), 1000},
        {string::from_utf8("+12"), 12},
        {string::from_utf8("-2147483648"), INT32_MIN},
        {string::from_utf8("2147483647"), 2147483647},
    };
    for (const Case& c : cases) {
        std::string what = std::to_string(type_of(&c.spec)) + " " + std::to_string(c.expected);
        expect_integer(convert(integer_to, c.spec), c.expected, what);
        expect_integer(convert(integer_make, c.spec), c.expected, what);
    }
    expect_integer(convert(integer_make, test::logic_cell(true)), 1, "make true");
    expect_integer(convert(integer_make, test::logic_cell(false)), 0, "make false");

    struct Bad {
        Cell spec;
        const char* id;
    } bad[] = {
        {flt(2147483648.0), "type-limit"},
        {flt(-2147483649.0), "type-limit"},
        {flt(nan), "type-limit"},
        {flt(std::numeric_limits<double>::infinity(), TYPE_PERCENT), "type-limit"},
        {time::make(2147483647.0), "type-limit"},
        {string::from_utf8("12a"), "bad-to-arg"},
        {string::from_utf8(""), "bad-to-arg"},
        {string::from_utf8("-"), "bad-to-arg"},
        {string::from_utf8("2147483648"), "bad-to-arg"},
        {test::logic_cell(true), "bad-to-arg"},
        {test::none_cell(), "bad-to-arg"},
        {Cell{TYPE_MONEY, 0, 0, 0}, "bad-to-arg"},    // until money! provides its conversion
        {issue("123456789"), "invalid-data"},
        {issue("12G"), "invalid-data"},
    };
    for (const Bad& b : bad) {
        RaisedError e = raised_by([&] { convert(integer_to, b.spec); });
        EXPECT_EQ(e.id, b.id) << type_of(&b.spec);
        if (e.id == std::string("bad-to-arg")) {
            EXPECT_EQ(e.args[0].value.data1, uint32_t(TYPE_INTEGER));
            EXPECT_EQ(type_of(&e.args[1].value), type_of(&b.spec));
        }
        if (e.id == std::string("type-limit")) {
            EXPECT_EQ(e.args[0].value.data1, uint32_t(TYPE_INTEGER));
        }
    }
}

TEST_F(IntegerType, ConversionHooksOfLaterTypes) {
    number_hooks::Hooks saved = number_hooks::get();
    number_hooks::get().money_to_integer = [](const Cell* m) { return int32_t(m->data1); };
    number_hooks::get().date_to_epoch_seconds = [](const Cell* d) { return int32_t(d->data1) * 86400; };
    expect_integer(convert(integer_to, Cell{TYPE_MONEY, 77, 0, 0}), 77, "money");
    expect_integer(convert(integer_to, Cell{TYPE_DATE, 2, 0, 0}), 172800, "date");
    number_hooks::get() = saved;
}

TEST_F(IntegerType, Compare) {
    struct Case {
        Cell b;
        int32_t op;
        int32_t expected;
    } cases[] = {
        {num(1), COMP_EQUAL, 0},
        {num(2), COMP_LESSER, -1},
        {num(-5), COMP_GREATER, 1},
        {flt(1.0), COMP_EQUAL, 0},
        {flt(1.0), COMP_STRICT_EQUAL, 1},
        {flt(1.0), COMP_SAME, 1},
        {flt(1.0), COMP_FIND, 1},
        {flt(1.0 + 1e-15), COMP_EQUAL, 0},      // near-equal
        {flt(1.5), COMP_LESSER, -1},
        {flt(1.0, TYPE_PERCENT), COMP_EQUAL, 0},
        {time::make(1.0), COMP_EQUAL, 0},
        {char_cell(1), COMP_EQUAL, 0},
        {char_cell(1), COMP_STRICT_EQUAL, 1},
        {test::none_cell(), COMP_LESSER, COMPARE_INCOMPARABLE},
        {Cell{TYPE_MONEY, 0, 0, 0}, COMP_EQUAL, COMPARE_INCOMPARABLE},   // until money! exists
    };
    for (const Case& c : cases)
        EXPECT_EQ(test::compare_of(num(1), c.b, c.op), c.expected) << type_of(&c.b) << " " << c.b.data2 << " op " << c.op;
    EXPECT_EQ(test::compare_of(num(65), char_cell('A'), COMP_EQUAL), 0);
    EXPECT_EQ(test::compare_of(num(INT32_MIN), num(INT32_MAX), COMP_LESSER), -1);
}

TEST_F(IntegerType, UnaryActions) {
    Cell v = num(5);
    EXPECT_EQ(integer::get_value(integer_negate(&v)), -5);
    v = num(0);
    EXPECT_EQ(integer::get_value(integer_negate(&v)), 0);
    v = num(0);
    EXPECT_EQ(integer::get_value(integer_complement(&v)), -1);
    Cell a = arith(integer_absolute, num(-7), test::none_cell());
    expect_integer(a, 7, "absolute");
    EXPECT_EQ(raised_by([] { Cell m = num(INT32_MIN); integer_negate(&m); }).id, "overflow");
    EXPECT_EQ(raised_by([] { arith(integer_absolute, num(INT32_MIN), test::none_cell()); }).id, "overflow");
    struct Parity {
        int32_t n;
        bool even;
    } parity[] = {{0, true}, {-3, false}, {4, true}, {INT32_MIN, true}, {INT32_MAX, false}};
    for (const Parity& p : parity) {
        Cell c = num(p.n);
        EXPECT_EQ(integer_even_q(&c), p.even) << p.n;
        EXPECT_EQ(integer_odd_q(&c), !p.even) << p.n;
    }
    EXPECT_EQ(integer::sign(-9), -1);
    EXPECT_EQ(integer::sign(0), 0);
    EXPECT_EQ(integer::sign(9), 1);
}

TEST_F(IntegerType, Random) {
    Cell zero = num(0);
    integer_random(&zero, false, false, false);
    expect_integer(zero, 0, "random 0");

    Cell seeded = num(5);
    integer_random(&seeded, true, false, false);
    EXPECT_EQ(type_of(&seeded), TYPE_UNSET);
    int32_t first[20];
    for (int32_t& x : first) {
        Cell c = num(10);
        integer_random(&c, false, false, false);
        x = integer::get_value(&c);
        EXPECT_GE(x, 1);
        EXPECT_LE(x, 10);
    }
    Cell again = num(5);
    integer_random(&again, true, false, false);
    for (int32_t x : first) {
        Cell c = num(10);
        integer_random(&c, false, false, false);
        EXPECT_EQ(integer::get_value(&c), x);
    }
    for (int i = 0; i < 50; ++i) {
        Cell c = num(-3);
        integer_random(&c, false, i % 2 == 1, false);
        EXPECT_GE(integer::get_value(&c), -3);
        EXPECT_LE(integer::get_value(&c), -1);
    }
    // Only the payload changes: a char! keeps its type.
    Cell c = char_cell('d');
    integer_random(&c, false, false, false);
    EXPECT_EQ(type_of(&c), TYPE_CHAR);
    EXPECT_GE(c.data2, 1u);
    EXPECT_LE(c.data2, uint32_t('d'));
}

TEST_F(IntegerType, Accessors) {
    stack::seam_start_call();
    Cell s = string::from_utf8("x");
    stack::push(&s);
    EXPECT_EQ(integer::arg_value_or_zero(), 0);
    integer::set_result(12);
    EXPECT_EQ(integer::arg_value(), 12);
    EXPECT_EQ(integer::arg_value_or_zero(), 12);
    Cell* pushed = integer::push_new(-4);
    expect_integer(*pushed, -4, "pushed");
    Cell flagged{TYPE_NONE | FLAG_NEW_LINE, 0, 0, 0};
    integer::init_cell(&flagged, 3);
    EXPECT_EQ(flagged.header, TYPE_INTEGER | FLAG_NEW_LINE);
    Cell f = flt(2147483647.5);
    EXPECT_TRUE(integer::float_overflows_q(&f));
    f = flt(-2147483648.0);
    EXPECT_FALSE(integer::float_overflows_q(&f));
}

}  // namespace
}  // namespace qor
