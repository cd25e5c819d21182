// time!: the h:mm:ss text, construction, fields by path and pick, and the
// time wrappers around float! arithmetic, rounding and parity.
#include "datatypes/eval_links.hpp"
#include "datatypes/time.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "datatypes/block.hpp"
#include "datatypes/float.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/number_hooks.hpp"
#include "datatypes/stack.hpp"
#include "datatypes/string.hpp"
#include "datatypes/symbol.hpp"
#include "memory_fixture.hpp"
#include "runtime_fixture.hpp"

namespace qor {
namespace {

using test::raised_by;

class TimeType : public testing::CoreTypesFixture {
protected:
    void register_types() override {
        integer::init();
        float_::init();
        time::init();
    }
};

Cell tm(double s) { return time::make(s); }
Cell num(int32_t n) { return integer::make(n); }
Cell flt(double d) { return float_::make(d); }
int32_t int_of(Cell c) {
    EXPECT_EQ(type_of(&c), TYPE_INTEGER);
    return integer::get_value(&c);
}
double seconds_of(Cell c) { return cell_float(&c); }
Cell word(const char* spelling) {
    return Cell{TYPE_WORD, 0, uint32_t(symbol::intern(spelling)), uint32_t(-1)};
}

Cell arith(void (*action)(), Cell left, Cell right) {
    stack::seam_start_call();
    stack::push(&left);
    stack::push(&right);
    action();
    return *stack::arguments_base();
}

Cell convert(Cell spec) {
    stack::seam_start_call();
    Cell proto = test::datatype_cell(TYPE_TIME);
    Cell* a = stack::push(&proto);
    Cell* b = stack::push(&spec);
    Cell* result = time_make(a, b);
    EXPECT_EQ(result, stack::arguments_base());
    EXPECT_EQ(type_of(result), TYPE_TIME);
    return *result;
}

Cell block_of(std::initializer_list<Cell> items) {
    Cell b = block::make(int32_t(items.size()));
    for (const Cell& c : items) block::append_copy(&b, &c);
    return b;
}

// Path step: a get when `value_to_set` is null.
Cell path(Cell* t, Cell element, const Cell* value_to_set = nullptr) {
    stack::seam_start_call();
    Cell p = test::none_cell();
    Cell v = value_to_set ? *value_to_set : test::none_cell();
    return *time_eval_path(t, &element, value_to_set ? &v : nullptr, &p, nullptr, nullptr, 1,
                           false, 0, true, false);
}

TEST_F(TimeType, Text) {
    struct Case {
        double seconds;
        const char* text;
    } cases[] = {
        {3723.5, "1:02:03.5"},    {90000, "25:00:00"},         {-5400, "-1:30:00"},
        {0.5, "0:00:00.5"},       {1.2345678, "0:00:01.23457"}, {1e-7, "0:00:00"},
        {0, "0:00:00"},           {360000, "100:00:00"},       {-1.5, "-0:00:01.5"},
        {12.25, "0:00:12.25"},    {59, "0:00:59"},             {60.000002, "0:01:00.000002"},
        {1e13, "2777777777:46:40"},
    };
    for (const Case& c : cases) {
        Cell out;
        string_new_output(&out);
        Cell t = tm(c.seconds);
        int32_t left = time_form(&t, &out, nullptr, 100);
        std::string text = string_text_of(&out);
        EXPECT_EQ(text, c.text);
        // The sign is not counted against the limit.
        EXPECT_EQ(left, 100 - int32_t(text.size()) + (c.seconds < 0 ? 1 : 0)) << c.text;
        Cell molded;
        string_new_output(&molded);
        EXPECT_EQ(time_mold(&t, &molded, false, true, false, nullptr, 100, 0), left);
        EXPECT_EQ(string_text_of(&molded), text);
    }
}

TEST_F(TimeType, MakeAndTo) {
    struct Case {
        Cell spec;
        double seconds;
    } cases[] = {
        {num(90), 90},
        {flt(1.5), 1.5},
        {float_::make(0.5, TYPE_PERCENT), 0.5},
        {tm(-7), -7},
        {block_of({num(1), num(30)}), 5400},
        {block_of({num(1), num(2), flt(3.5)}), 3723.5},
        {block_of({num(-1), num(30)}), -5400},
        {block_of({num(0), num(0), num(5)}), 5},
        {block_of({}), 0},
    };
    for (const Case& c : cases) EXPECT_EQ(seconds_of(convert(c.spec)), c.seconds);

    Cell bad[] = {
        block_of({num(1), num(2), num(3), num(4)}),
        block_of({num(1), num(-2)}),
        block_of({num(1), num(2), num(-3)}),
        block_of({flt(1.5)}),
        block_of({num(1), flt(2.0)}),
        block_of({num(1), num(2), string::from_utf8("3")}),
        test::none_cell(),
        test::logic_cell(true),
    };
    for (const Cell& b : bad) {
        RaisedError e = raised_by([&] { convert(b); });
        EXPECT_EQ(e.id, "bad-to-arg");
        EXPECT_EQ(e.args[0].value.data1, uint32_t(TYPE_TIME));
        EXPECT_EQ(type_of(&e.args[1].value), type_of(&b));
    }
}

Cell g_loaded;
Cell* fake_load(Cell* text) {
    std::string s = string::to_utf8(text);
    g_loaded = s == "1:30" ? tm(5400) : s == "5" ? num(5) : string::from_utf8("abc");
    return &g_loaded;
}

TEST_F(TimeType, FromTextThroughTheLoader) {
    number_hooks::Hooks saved = number_hooks::get();
    eval_links::get().load_value_from_string = fake_load;
    Cell r = convert(string::from_utf8("1:30"));
    EXPECT_EQ(cell_float(&r), 5400.0);
    for (const char* text : {"abc", "5"}) {
        RaisedError e = raised_by([&] { convert(string::from_utf8(text)); });
        EXPECT_EQ(e.id, "bad-to-arg");
        EXPECT_EQ(string::to_utf8(&e.args[1].value), text);   // the spec as it was
    }
    number_hooks::get() = saved;
}

TEST_F(TimeType, FieldsByPathAndPick) {
    Cell t = tm(3723);   // 1:02:03
    EXPECT_EQ(int_of(path(&t, word("hour"))), 1);
    EXPECT_EQ(int_of(path(&t, word("Minute"))), 2);
    Cell s = path(&t, num(3));
    EXPECT_EQ(type_of(&s), TYPE_FLOAT);
    EXPECT_EQ(cell_float(&s), 3.0);

    Cell neg = tm(-5400);
    EXPECT_EQ(int_of(path(&neg, word("hour"))), -1);
    EXPECT_EQ(int_of(path(&neg, num(2))), 30);
    neg = tm(-1.5);
    EXPECT_EQ(seconds_of(path(&neg, num(3))), -1.5);   // keeps the sign

    struct Set {
        Cell element, value;
        double seconds;
    } sets[] = {
        {word("minute"), num(59), 7143},     // 1:59:03
        {word("hour"), num(0), 123},         // 0:02:03
        {num(3), flt(4.5), 3724.5},          // 1:02:04.5
        {word("second"), num(0), 3720},
        {num(1), num(25), 90123},
    };
    for (const Set& c : sets) {
        Cell v = tm(3723);
        Cell answer = path(&v, c.element, &c.value);
        EXPECT_EQ(cell_float(&v), c.seconds);
        EXPECT_EQ(type_of(&v), TYPE_TIME);
        EXPECT_EQ(answer.data2, c.value.data2);
    }

    struct Bad {
        Cell element;
        bool set;
        Cell value;
        const char* id;
    } bad[] = {
        {num(4), false, num(0), "invalid-path"},
        {num(0), false, num(0), "invalid-path"},
        {word("day"), false, num(0), "invalid-path"},
        {flt(1.0), false, num(0), "invalid-path"},
        {word("hour"), true, flt(1.5), "invalid-arg"},
        {word("minute"), true, test::logic_cell(true), "invalid-arg"},
    };
    for (const Bad& b : bad) {
        RaisedError e = raised_by([&] {
            Cell v = tm(3723);
            path(&v, b.element, b.set ? &b.value : nullptr);
        });
        EXPECT_EQ(e.id, b.id);
    }

    stack::seam_start_call();
    EXPECT_EQ(integer::get_value(time_pick(&t, 1)), 1);
    Cell w = word("HOUR");
    EXPECT_EQ(integer::get_value(time::pick_field(&t, &w)), 1);
    RaisedError e = raised_by([&] { time_pick(&t, 4); });
    EXPECT_EQ(e.id, "out-of-range");
    EXPECT_EQ(integer::get_value(&e.args[0].value), 4);
    e = raised_by([&] {
        Cell day = word("day");
        time::pick_field(&t, &day);
    });
    EXPECT_EQ(e.id, "cannot-use");
    EXPECT_EQ(registry::action<SLOT_PICK>(TYPE_TIME), time_pick);
}

int g_notified;
Cell g_old, g_new;
void fake_notify(Cell*, const Cell*, const Cell* old_value, const Cell* new_value, int32_t field) {
    g_notified = field;
    g_old = *old_value;
    g_new = *new_value;
}

TEST_F(TimeType, PathWriteTellsTheOwner) {
    number_hooks::Hooks saved = number_hooks::get();
    number_hooks::get().notify_path_change = fake_notify;
    Cell t = tm(3723), parent = block::make(1), element = word("minute"), value = num(0);
    Cell p = test::none_cell();
    g_notified = 0;
    time_eval_path(&t, &element, &value, &p, &parent, &element, 2, false, 0, true, true);
    EXPECT_EQ(g_notified, 2);
    EXPECT_EQ(cell_float(&g_old), 3723.0);
    EXPECT_EQ(cell_float(&g_new), 3603.0);
    g_notified = 0;
    time_eval_path(&t, &element, &value, &p, &parent, &element, 2, false, 0, true, false);
    EXPECT_EQ(g_notified, 0);
    number_hooks::get() = saved;
}

TEST_F(TimeType, Arithmetic) {
    struct Case {
        void (*action)();
        Cell left, right;
        Cell expected;
    } cases[] = {
        {time_add, tm(3600), num(30), tm(3630)},
        {integer_add, num(30), tm(3600), tm(3630)},
        {time_subtract, tm(3600), tm(600), tm(3000)},
        {time_multiply, tm(3600), num(2), tm(7200)},
        {time_divide, tm(3600), tm(900), flt(4.0)},
        {time_divide, tm(3600), num(2), tm(1800)},
        {time_divide, tm(3600), flt(0.5), tm(7200)},
        {float_add, flt(1.5), tm(1), tm(2.5)},
    };
    for (const Case& c : cases) {
        Cell r = arith(c.action, c.left, c.right);
        EXPECT_EQ(type_of(&r), type_of(&c.expected)) << cell_float(&c.expected);
        EXPECT_EQ(cell_float(&r), cell_float(&c.expected));
    }
    // remainder, negate and absolute come from float! and keep the type.
    Cell r = arith(reinterpret_cast<DirectFn>(registry::entry(TYPE_TIME, SLOT_REMAINDER)), tm(3725), tm(60));
    EXPECT_EQ(type_of(&r), TYPE_TIME);
    EXPECT_EQ(cell_float(&r), 5.0);
    Cell n = tm(90);
    registry::action<SLOT_NEGATE>(TYPE_TIME)(&n);
    EXPECT_EQ(type_of(&n), TYPE_TIME);
    EXPECT_EQ(cell_float(&n), -90.0);
    r = arith(reinterpret_cast<DirectFn>(registry::entry(TYPE_TIME, SLOT_ABSOLUTE)), n, test::none_cell());
    EXPECT_EQ(cell_float(&r), 90.0);
    EXPECT_EQ(registry::entry(TYPE_TIME, SLOT_POWER), ACTION_NONE);

    struct Bad {
        void (*action)();
        Cell right;
        const char* id;
    } bad[] = {
        {time_multiply, tm(3600), "not-related"},
        {time_subtract, Cell{TYPE_DATE, 0, 0, 0}, "not-related"},
        {time_add, Cell{TYPE_DATE, 0, 0, 0}, "invalid-type"},   // date! not registered
        {time_add, Cell{TYPE_CHAR, 0, 1, 0}, "invalid-type"},
        {time_add, Cell{TYPE_PAIR, 0, 1, 1}, "invalid-type"},
    };
    for (const Bad& b : bad) {
        RaisedError e = raised_by([&] { arith(b.action, tm(3600), b.right); });
        EXPECT_EQ(e.id, b.id) << type_of(&b.right);
    }
    RaisedError e = raised_by([] { arith(time_multiply, tm(1), tm(1)); });
    EXPECT_EQ(e.args[0].word, "multiply");
    EXPECT_EQ(e.args[1].value.data1, uint32_t(TYPE_TIME));
}

Cell g_date_left, g_date_right;
void fake_date_add() {
    g_date_left = stack::arguments_base()[0];
    g_date_right = stack::arguments_base()[1];
}

TEST_F(TimeType, TimePlusDateIsHandedToTheDate) {
    RegistryTables saved = registry::tables();
    TypeSpec spec = make_type_spec(TYPE_DATE);
    set_slot<SLOT_ADD>(spec, fake_date_add);
    install_datatype(TYPE_SPEC_WORDS, &spec);
    arith(time_add, tm(90), Cell{TYPE_DATE, 12345, 0, 0});
    EXPECT_EQ(type_of(&g_date_left), TYPE_DATE);
    EXPECT_EQ(g_date_left.data1, 12345u);
    EXPECT_EQ(type_of(&g_date_right), TYPE_TIME);
    EXPECT_EQ(cell_float(&g_date_right), 90.0);
    registry::tables() = saved;
}

TEST_F(TimeType, RoundParityCompareRandom) {
    struct Case {
        double seconds;
        Cell scale;
        double expected;
    } cases[] = {
        {3723.7, test::none_cell(), 3724},
        {3723, tm(10), 3720},
        {3725, tm(10), 3730},
        {3723.4, num(2), 3724},
        {-3723.5, test::none_cell(), -3724},
        {90, flt(60), 120},
    };
    for (const Case& c : cases) {
        Cell v = tm(c.seconds), s = c.scale;
        time_round(&v, type_of(&s) == TYPE_NONE ? nullptr : &s, false, false, false, false, false, false);
        EXPECT_EQ(type_of(&v), TYPE_TIME) << c.seconds;
        EXPECT_EQ(cell_float(&v), c.expected) << c.seconds;
    }
    RaisedError e = raised_by([] {
        Cell v = tm(1), money{TYPE_MONEY, 0, 0, 0};
        time_round(&v, &money, false, false, false, false, false, false);
    });
    EXPECT_EQ(e.id, "not-related");

    struct Parity {
        double seconds;
        bool even;
    } parity[] = {{2, true}, {63, false}, {1.9999999, true}, {-3, false}, {120.5, true}, {0, true}};
    for (const Parity& p : parity) {
        Cell v = tm(p.seconds);
        EXPECT_EQ(time_even_q(&v), p.even) << p.seconds;
        EXPECT_EQ(time_odd_q(&v), !p.even) << p.seconds;
    }

    double next = std::nextafter(3600.0, 4000.0);
    EXPECT_EQ(test::compare_of(tm(3600), tm(next), COMP_EQUAL), 0);
    EXPECT_EQ(test::compare_of(tm(3600), num(3600), COMP_EQUAL), 0);
    EXPECT_EQ(test::compare_of(tm(3600), num(3600), COMP_STRICT_EQUAL), 1);
    EXPECT_EQ(test::compare_of(tm(1), tm(2), COMP_LESSER), -1);

    for (int i = 0; i < 20; ++i) {
        Cell v = tm(10);
        registry::action<SLOT_RANDOM>(TYPE_TIME)(&v, false, false, false);
        EXPECT_EQ(type_of(&v), TYPE_TIME);
        EXPECT_GE(cell_float(&v), 0.0);
        EXPECT_LE(cell_float(&v), 10.0);
    }
}

TEST_F(TimeType, Accessors) {
    EXPECT_EQ(time::get_hours(5400), 1);
    EXPECT_EQ(time::get_hours(-5400), -1);
    EXPECT_EQ(time::get_hours(1e30), INT32_MIN);
    EXPECT_EQ(time::get_minutes(-5400), 30);
    EXPECT_EQ(time::get_minutes(3599.9), 59);
    Cell c{TYPE_NONE | FLAG_NEW_LINE, 0, 0, 0};
    time::init_cell(12.5, &c);
    EXPECT_EQ(c.header, TYPE_TIME | FLAG_NEW_LINE);
    EXPECT_EQ(cell_float(&c), 12.5);
    stack::seam_start_call();
    EXPECT_EQ(cell_float(time::push_new(7)), 7.0);
    Cell b = block::make(1);
    time::new_in_block(&b, 8);
    EXPECT_EQ(cell_float(block::item(&b, 0)), 8.0);
}

}  // namespace
}  // namespace qor
