// The action table, its lookup errors and the action entries' own rules.
#include "runtime_fixture.hpp"

namespace qor {
namespace {

using namespace test;

class Actions : public RuntimeFixture {};

TEST_F(Actions, TheDispatcherTableHoldsAnEntryPerSlotButSetPath) {
    const uintptr_t* table = actions::dispatcher_table();
    for (int slot = 1; slot <= ACTION_COUNT; slot++) {
        if (slot == SLOT_SET_PATH) {
            EXPECT_EQ(table[slot - 1], 0u);
        } else {
            EXPECT_NE(table[slot - 1], 0u) << ACTION_NAMES[slot];
        }
    }
    EXPECT_EQ(actions::entry_of_slot(SLOT_ADD), actions::entry_add);
    EXPECT_EQ(native::action_entry(SLOT_ADD), reinterpret_cast<uintptr_t>(actions::entry_add));
    EXPECT_EQ(actions::entry_of_slot(63), nullptr);
    EXPECT_EQ(eval_int("add 40 2"), 42);
    Cell r = eval("even? 4");
    EXPECT_EQ(type_of(&r), TYPE_LOGIC);
    EXPECT_EQ(r.data1, 1u);
}

TEST_F(Actions, AMissingImplementationNamesTheActionTheTypeAndTheArgument) {
    RaisedError e = eval_error("negate \"text\"");
    EXPECT_EQ(e.category, "script");
    EXPECT_EQ(e.id, "expect-arg");
    EXPECT_EQ(arg_spelling(e, 0), "negate");
    EXPECT_EQ(e.args[1].value.data1, uint32_t(TYPE_STRING));
    EXPECT_EQ(arg_spelling(e, 2), "number");
}

TEST_F(Actions, MakeAndToDispatchOnTheNamedType) {
    Cell r = eval("make integer! 12.0");
    EXPECT_EQ(type_of(&r), TYPE_INTEGER);
    EXPECT_EQ(r.data2, 12u);
    r = eval("to integer! 7.0");
    EXPECT_EQ(type_of(&r), TYPE_INTEGER);
    EXPECT_EQ(r.data2, 7u);
    r = eval("make 1 2.0");    // a prototype value selects its own type
    EXPECT_EQ(type_of(&r), TYPE_INTEGER);
}

TEST_F(Actions, FormAndMoldWithPart) {
    struct Case {
        const char* code;
        const char* text;
    } cases[] = {
        {"form/part 12345 0", ""},
        {"mold/part [1 2] -5", ""},
        {"form/part 12345 3", "123"},
        {"mold/part [a b c] 4", "[a b"},
        {"form [1 2]", "1 2"},
        {"mold/only [1 2]", "1 2"},
    };
    for (const Case& c : cases) {
        Cell r = eval(c.code);
        ASSERT_EQ(type_of(&r), TYPE_STRING) << c.code;
        EXPECT_EQ(string::to_utf8(&r), c.text) << c.code;
    }
}

TEST_F(Actions, PickIndexConversion) {
    eval("s: [10 20 30]");
    EXPECT_EQ(eval_int("pick s true"), 10);
    EXPECT_EQ(eval_int("pick s false"), 20);
    EXPECT_EQ(eval_int("pick s 3"), 30);
    Cell r = eval("pick s \"x\"");    // another value gives index 0
    EXPECT_EQ(type_of(&r), TYPE_NONE);
}

TEST_F(Actions, AppendPartCountsInTheValuesSeries) {
    RaisedError e = eval_error("append/part [] [1 2 3] next next [1 2 3]");
    EXPECT_EQ(e.id, "invalid-refine-arg");
    EXPECT_EQ(e.args[0].word, "part");
    Cell r = eval("s: [1 2 3] append/part [] s next next s");
    EXPECT_EQ(molded(r), "[1 2]");
    r = eval("append/part [] [1 2 3] 1");
    EXPECT_EQ(molded(r), "[1]");
    e = eval_error("append/part [] 5 1");
    EXPECT_EQ(e.id, "invalid-part");
    r = eval("append/dup [] 0 3");
    EXPECT_EQ(molded(r), "[0 0 0]");
}

TEST_F(Actions, LengthCopyAndCompareRules) {
    Cell r = eval("length? none");
    EXPECT_EQ(type_of(&r), TYPE_NONE);
    EXPECT_EQ(eval_int("length? [1 2 3]"), 3);
    RaisedError e = eval_error("copy/types [1] 1");
    EXPECT_EQ(e.id, "expect-arg");
    EXPECT_EQ(arg_spelling(e, 0), "copy");
    r = eval("copy/deep [[1]]");
    EXPECT_EQ(molded(r), "[[1]]");
    // Values that cannot be ordered: orderings raise, equalities answer.
    Cell one = integer::make(1), text = string::from_utf8("a");
    gc::CellRoot k1(&one), k2(&text);
    EXPECT_FALSE(compare(&one, &text, COMP_EQUAL));
    EXPECT_TRUE(compare(&one, &text, COMP_NOT_EQUAL));
    for (int32_t op : {COMP_LESSER, COMP_LESSER_EQUAL, COMP_GREATER, COMP_GREATER_EQUAL}) {
        RaisedError err = test::raised_by([&] { compare(&one, &text, op); });
        EXPECT_EQ(err.id, "invalid-compare") << op;
    }
    EXPECT_EQ(eval_error("1 < \"a\"").id, "invalid-compare");
    Cell two = integer::make(2);
    EXPECT_EQ(compare_values(&one, &two, COMP_EQUAL), -1);
    Cell add = global("add"), sub = global("subtract");
    EXPECT_EQ(compare_values(&add, &add, COMP_EQUAL), 0);
    EXPECT_NE(compare_values(&add, &sub, COMP_EQUAL), 0);
}

const uintptr_t* g_port_table = nullptr;
const uintptr_t* port_reader(const Cell*) { return g_port_table; }

TEST_F(Actions, PortActorsTakeTheSlotsFromTwentyFive) {
    uintptr_t table[ACTION_COUNT - SLOT_APPEND + 1] = {};
    table[SLOT_READ - SLOT_APPEND] = reinterpret_cast<uintptr_t>(&block_find);
    g_port_table = table;
    actions::set_port_actor_reader(port_reader);
    Cell port{TYPE_PORT, 0, 0, 0};
    EXPECT_EQ(actions::lookup(TYPE_PORT, &port, SLOT_READ), reinterpret_cast<uintptr_t>(&block_find));
    RaisedError e = test::raised_by([&] { actions::lookup(TYPE_PORT, &port, SLOT_WRITE); });
    EXPECT_EQ(e.category, "access");
    EXPECT_EQ(e.id, "no-port-action");
    actions::set_port_actor_reader(nullptr);
}

}  // namespace
}  // namespace qor
