// logic!: make/to, random, text forms, comparison, the bitwise actions and
// the truth tests.
#include "runtime_fixture.hpp"
#include "datatypes/logic.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "datatypes/stack.hpp"
#include "runtime/random.hpp"
#include "runtime_fixture.hpp"

using namespace qor;
using namespace qor::test;

namespace {

class LogicType : public RuntimeFixture {
protected:
    void SetUp() override {
        RuntimeFixture::SetUp();
        stack::seam_start_call();
    }

    // Calls make or to of logic! with the spec as the second argument of a
    // fresh call; answers the result slot.
    static Cell convert(int slot, Cell spec) {
        stack::seam_start_call();
        Cell proto = datatype_cell(TYPE_LOGIC);
        Cell* a = stack::push(&proto);
        Cell* b = stack::push(&spec);
        MakeFn fn = slot == SLOT_MAKE ? registry::action<SLOT_MAKE>(TYPE_LOGIC)
                                      : registry::action<SLOT_TO>(TYPE_LOGIC);
        Cell* result = fn(a, b);
        EXPECT_EQ(result, stack::arguments_base());
        EXPECT_EQ(type_of(result), TYPE_LOGIC);
        return *result;
    }

    // Runs a direct bitwise slot on two arguments; answers the result slot.
    static Cell bitwise(int slot, Cell a, Cell b) {
        stack::seam_start_call();
        stack::push(&a);
        stack::push(&b);
        DirectFn fn = registry::entry(TYPE_LOGIC, slot)
                          ? reinterpret_cast<DirectFn>(registry::entry(TYPE_LOGIC, slot))
                          : nullptr;
        EXPECT_NE(fn, nullptr);
        if (fn) fn();
        return *stack::arguments_base();
    }
};

TEST_F(LogicType, MakeTestsNumbersAndConvertsTheRest) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        Cell spec;
        uint32_t made;
        uint32_t converted;
    } cases[] = {
        {integer_cell(0), 0, 1},   // make tests the number, to only sees a value
        {integer_cell(-3), 1, 1},
        {float_cell(0.0), 0, 1},
        {float_cell(-0.0), 0, 1},
        {float_cell(1e-300), 1, 1},
        {float_cell(nan), 1, 1},
        {float_cell(0.0, TYPE_PERCENT), 0, 1},
        {none_cell(), 0, 0},
        {logic_cell(false), 0, 0},
        {logic_cell(true), 1, 1},
        {unset_cell(), 1, 1},
        {datatype_cell(TYPE_NONE), 1, 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(convert(SLOT_MAKE, c.spec).data1, c.made) << "make from type " << int(type_of(&c.spec));
        EXPECT_EQ(convert(SLOT_TO, c.spec).data1, c.converted) << "to from type " << int(type_of(&c.spec));
    }
}

TEST_F(LogicType, RandomDrawsAndSeeds) {
    RandomFn random = registry::action<SLOT_RANDOM>(TYPE_LOGIC);

    // Each answer is true exactly when its draw lies above 0x3FFFFFFF.
    random::seed(42);
    int32_t draws[64];
    for (int32_t& d : draws) d = random::next();
    random::seed(42);
    bool seen[2] = {};
    for (int32_t d : draws) {
        Cell v = logic_cell(false);
        EXPECT_EQ(random(&v, false, false, false), &v);
        EXPECT_EQ(v.data1, d > 0x3FFFFFFF ? 1u : 0u);
        seen[v.data1] = true;
    }
    EXPECT_TRUE(seen[0] && seen[1]);

    // /seed seeds with the payload and answers unset.
    for (bool b : {false, true}) {
        Cell v = logic_cell(b);
        random(&v, true, false, false);
        EXPECT_EQ(v.header, uint32_t(TYPE_UNSET));
        int32_t after = random::next();
        random::seed(b ? 1 : 0);
        EXPECT_EQ(random::next(), after);
    }

    Cell v = logic_cell(true);
    random(&v, false, true, false);
    EXPECT_EQ(type_of(&v), TYPE_LOGIC);
    EXPECT_LE(v.data1, 1u);
}

TEST_F(LogicType, Text) {
    EXPECT_EQ(form_of(logic_cell(true)), "true");
    EXPECT_EQ(form_of(logic_cell(false)), "false");
    EXPECT_EQ(mold_of(logic_cell(true)), "true");
    EXPECT_EQ(mold_of(logic_cell(false)), "false");
    EXPECT_EQ(mold_of(logic_cell(true), true), "#(true)");
    EXPECT_EQ(mold_of(logic_cell(false), true), "#(false)");
}

TEST_F(LogicType, Compare) {
    Cell t = logic_cell(true), f = logic_cell(false);
    for (int32_t op : {COMP_EQUAL, COMP_NOT_EQUAL, COMP_STRICT_EQUAL, COMP_SORT, COMP_CASE_SORT,
                       COMP_SAME, COMP_FIND}) {
        EXPECT_EQ(compare_of(t, t, op), 0) << op;
        EXPECT_EQ(compare_of(f, t, op), -1) << op;   // false sorts first
        EXPECT_EQ(compare_of(t, f, op), 1) << op;
    }
    for (int32_t op : {COMP_LESSER, COMP_LESSER_EQUAL, COMP_GREATER, COMP_GREATER_EQUAL,
                       COMP_WORD_MATCH, COMP_WORD_MATCH_CANONICAL})
        EXPECT_EQ(compare_of(f, t, op), COMPARE_INCOMPARABLE) << op;
    EXPECT_EQ(compare_of(t, integer_cell(1), COMP_EQUAL), COMPARE_INCOMPARABLE);
    EXPECT_EQ(compare_of(f, none_cell(), COMP_EQUAL), COMPARE_INCOMPARABLE);
}

TEST_F(LogicType, ComplementFlipsInPlace) {
    UnaryFn complement = registry::action<SLOT_COMPLEMENT>(TYPE_LOGIC);
    Cell v = logic_cell(true);
    EXPECT_EQ(complement(&v), &v);
    EXPECT_EQ(v.data1, 0u);
    complement(&v);
    EXPECT_EQ(v.data1, 1u);
}

TEST_F(LogicType, BitwiseActions) {
    for (int a = 0; a < 2; ++a) {
        for (int b = 0; b < 2; ++b) {
            Cell x = logic_cell(a), y = logic_cell(b);
            EXPECT_EQ(bitwise(SLOT_AND_T, x, y).data1, uint32_t(a & b));
            EXPECT_EQ(bitwise(SLOT_OR_T, x, y).data1, uint32_t(a | b));
            EXPECT_EQ(bitwise(SLOT_XOR_T, x, y).data1, uint32_t(a ^ b));
            EXPECT_EQ(stack::arguments_base()->header, uint32_t(TYPE_LOGIC));
        }
    }
}

TEST_F(LogicType, BitwiseRefusesOtherTypes) {
    struct Case {
        int slot;
        Cell operand;
        const char* action;
    } cases[] = {
        {SLOT_AND_T, integer_cell(1), "and~"},
        {SLOT_OR_T, none_cell(), "or~"},
        {SLOT_XOR_T, unset_cell(), "xor~"},
    };
    for (const Case& c : cases) {
        RaisedError e = raised_by([&] { bitwise(c.slot, logic_cell(true), c.operand); });
        EXPECT_EQ(e.category, "script");
        EXPECT_EQ(e.id, "expect-arg");
        EXPECT_EQ(e.args[0].word, c.action);
        EXPECT_EQ(e.args[1].value.header, uint32_t(TYPE_DATATYPE));
        EXPECT_EQ(e.args[1].value.data1, uint32_t(type_of(&c.operand)));
        EXPECT_EQ(e.args[2].word, "value2");
        // Nothing was changed before the error.
        EXPECT_EQ(stack::arguments_base()->data1, 1u);
    }
}

TEST_F(LogicType, TruthOfGivenValues) {
    Cell name{TYPE_WORD, 0, 1, 0};
    struct Case {
        Cell value;
        bool truthy;
    } cases[] = {
        {none_cell(), false},     {logic_cell(false), false}, {logic_cell(true), true},
        {integer_cell(0), true},  {float_cell(0.0), true},    {unset_cell(), true},
        {Cell{uint32_t(TYPE_LOGIC) | FLAG_NEW_LINE, 0, 0, 0}, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(logic::truthy_checked_q(&c.value, false, &name), c.truthy);
        if (type_of(&c.value) != TYPE_UNSET) {
            EXPECT_EQ(logic::truthy_checked_q(&c.value, true, &name), c.truthy);
        }
    }
    Cell u = unset_cell();
    RaisedError e = raised_by([&] { logic::truthy_checked_q(&u, true, &name); });
    EXPECT_EQ(e.id, "no-value");
    EXPECT_EQ(e.args[0].value.header, uint32_t(TYPE_WORD));
}

TEST_F(LogicType, TruthOfTheResultSlot) {
    struct Case {
        Cell result;
        bool condition;   // condition_true_q
        bool falsy;       // result_false_q
    } cases[] = {
        {none_cell(), false, true},
        {logic_cell(false), false, true},
        {logic_cell(true), true, false},
        {integer_cell(0), true, false},
    };
    for (const Case& c : cases) {
        stack::seam_start_call();
        stack::push(&c.result);
        EXPECT_EQ(logic::condition_true_q(), c.condition);
        EXPECT_EQ(logic::result_false_q(), c.falsy);
    }
    stack::seam_start_call();
    stack::push(unset_value);
    EXPECT_FALSE(logic::result_false_q());
    RaisedError e = raised_by([] { logic::condition_true_q(); });
    EXPECT_EQ(e.category, "script");
    EXPECT_EQ(e.id, "no-return");
    EXPECT_FALSE(e.args[0].given);
}

TEST_F(LogicType, TruthOfTheLastEvaluatedValue) {
    // Only the result slot: it decides.
    stack::push(false_value);
    EXPECT_TRUE(logic::stack_top_false_q());
    EXPECT_FALSE(logic::stack_top_true_q());
    // A value above it: the top decides.
    stack::push(true_value);
    EXPECT_FALSE(logic::stack_top_false_q());
    EXPECT_TRUE(logic::stack_top_true_q());
    // An empty frame still reads the result slot.
    stack::reset();
    *stack::arguments_base() = none_cell();
    EXPECT_TRUE(logic::stack_top_false_q());
}

TEST_F(LogicType, ConstantsAndConstructors) {
    EXPECT_EQ(true_value->header, uint32_t(TYPE_LOGIC));
    EXPECT_EQ(true_value->data1, 1u);
    EXPECT_EQ(false_value->data1, 0u);
    Cell flagged{uint32_t(TYPE_NONE) | FLAG_NEW_LINE, 0, 0, 0};
    stack::push(&flagged);
    logic::set_result(1);
    EXPECT_EQ(stack::arguments_base()->header, uint32_t(TYPE_LOGIC));
    EXPECT_EQ(logic::get_value(stack::arguments_base()), 1u);
    Cell* pushed = logic::push_new(0);
    EXPECT_EQ(pushed, stack::top_value());
    EXPECT_EQ(pushed->data1, 0u);
}

}  // namespace
