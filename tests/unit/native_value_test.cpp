// native!, action! and op! values: making them from table indexes, the
// arity rule of ops, reflection, text forms and comparison.
#include "datatypes/native.hpp"

#include <gtest/gtest.h>

#include "runtime_fixture.hpp"

namespace qor {
namespace {

using namespace test;

// Entry tables with distinct addresses (never called).
uintptr_t g_natives[native::NATIVES_TABLE_SIZE];
uintptr_t g_dispatcher[native::DISPATCHER_TABLE_SIZE];

class NativeValues : public ObjectFixture {
protected:
    void SetUp() override {
        ObjectFixture::SetUp();
        for (uint32_t i = 0; i < native::NATIVES_TABLE_SIZE; i++) g_natives[i] = 0x10000 + 16 * i;
        for (uint32_t i = 0; i < native::DISPATCHER_TABLE_SIZE; i++) g_dispatcher[i] = 0x20000 + 16 * i;
        native::set_tables(g_natives, g_dispatcher);
        open_call();
    }
    void TearDown() override {
        native::set_tables(nullptr, nullptr);
        ObjectFixture::TearDown();
    }

    Cell make(uint32_t type, const char* spec_text) {
        Cell spec = first_of(spec_text);
        gc::CellRoot keep(&spec);
        Cell dt{TYPE_DATATYPE, type, 0, 0};
        Cell v = *registry::action<SLOT_MAKE>(type)(&dt, &spec);
        stack::pop(1);
        return v;
    }
};

TEST_F(NativeValues, MakeFromTableIndexes) {
    Cell n = make(TYPE_NATIVE, "[[value [integer!] /only] 5]");
    gc::CellRoot keep(&n);
    EXPECT_EQ(type_of(&n), TYPE_NATIVE);
    EXPECT_EQ(native::code_of(&n), g_natives[4]);
    EXPECT_EQ(mold_text(Cell{TYPE_BLOCK, 0, n.data2, 0}), "[value [integer!] /only]");
    // The more block: a stack context record made from the spec, then none.
    Cell* record = native::spec_context_record(&n);
    EXPECT_EQ(type_of(record), TYPE_CONTEXT);
    EXPECT_TRUE(record->header & CONTEXT_VALUES_ON_STACK);
    EXPECT_EQ(type_of(record + 1), TYPE_NONE);

    Cell a = make(TYPE_ACTION, "[[series value] 62]");
    EXPECT_EQ(native::code_of(&a), g_dispatcher[61]);

    struct Case {
        uint32_t type;
        const char* spec;
    };
    const Case bad[] = {
        {TYPE_NATIVE, "[[a] 0]"},   {TYPE_NATIVE, "[[a] 121]"}, {TYPE_ACTION, "[[a] 63]"},
        {TYPE_NATIVE, "[[a] 1 2]"}, {TYPE_NATIVE, "[[a]]"},     {TYPE_NATIVE, "[a 1]"},
        {TYPE_ACTION, "[[a] x]"},   {TYPE_NATIVE, "5"},
    };
    for (const Case& c : bad) {
        EXPECT_EQ(raised_id([&] { make(c.type, c.spec); }), "script/bad-make-arg") << c.spec;
        EXPECT_EQ(last_raised_error().args[0].value.data1, c.type);
    }
    // Accepted at both ends of the range.
    Cell last = make(TYPE_NATIVE, "[[a] 120]");
    EXPECT_EQ(native::code_of(&last), g_natives[119]);
}

TEST_F(NativeValues, OpsNeedTwoPlainArguments) {
    struct Case {
        const char* spec;
        bool ok;
    };
    const Case cases[] = {
        {"[a b /local c]", true},
        {"[a b /extern c]", true},
        {"[\"doc\" a [integer!] b [integer!] return: [integer!]]", true},
        {"[a 'b]", true},
        {"[a :b]", true},
        {"[a b c]", false},
        {"[a]", false},
        {"[a /only b]", false},
        {"['a b]", false},
        {"[:a b]", false},
    };
    for (const Case& c : cases) {
        Cell fn = make_function(c.spec, "[]");
        gc::CellRoot keep(&fn);
        Cell dt{TYPE_DATATYPE, TYPE_OP, 0, 0};
        std::string id = raised_id([&] { native::op_make(&dt, &fn); });
        EXPECT_EQ(id, c.ok ? "" : "script/bad-op-spec") << c.spec;
    }
    Cell dt{TYPE_DATATYPE, TYPE_OP, 0, 0};
    Cell number = integer::make(1);
    EXPECT_EQ(raised_id([&] { native::op_make(&dt, &number); }), "script/invalid-type");
    EXPECT_EQ(last_raised_error().args[0].value.data1, uint32_t(TYPE_INTEGER));
}

TEST_F(NativeValues, OpFromFunctionKeepsItsParts) {
    Cell fn = make_function("[x y]", "[x + y]");
    gc::CellRoot keep(&fn);
    Cell dt{TYPE_DATATYPE, TYPE_OP, 0, 0};
    Cell op = *native::op_make(&dt, &fn);
    stack::pop(1);
    gc::CellRoot ko(&op);
    EXPECT_EQ(type_of(&op), TYPE_OP);
    EXPECT_EQ(native::op_source_type(&op), uint32_t(TYPE_FUNCTION));
    EXPECT_EQ(op.data1, fn.data1);   // the function's context
    EXPECT_EQ(op.data3, fn.data3);   // its more block
    // The function's more block now also holds the function.
    EXPECT_EQ(function::more_cell(&fn, function::MORE_OP)->data3, fn.data3);
    EXPECT_EQ(mold_text(op), "make op! func [x y][x + y]");
    EXPECT_EQ(form_text(op), "?op?");
    Cell body = loose_word("body"), r = op;
    native::native_reflect(&r, &body);
    EXPECT_EQ(mold_text(r), "[x + y]");

    Cell n = make(TYPE_NATIVE, "[[a b] 7]");
    gc::CellRoot kn(&n);
    Cell from_native = *native::op_make(&dt, &n);
    stack::pop(1);
    EXPECT_EQ(native::op_source_type(&from_native), uint32_t(TYPE_NATIVE));
    EXPECT_EQ(mold_text(from_native), "make op! [[a b]]");
    r = from_native;
    native::native_reflect(&r, &body);
    EXPECT_EQ(r.data2, 7u);
}

TEST_F(NativeValues, OpFromRoutineKeepsItsCallingConvention) {
    Cell spec = first_of("[a [integer!] b [integer!]]");
    Cell body = first_of("[native code]");
    gc::CellRoot ks(&spec), kb(&body);
    Cell r = *routine::push_new(&spec, &body, TYPE_INTEGER, 0xBEEF, 1);
    stack::pop(1);
    gc::CellRoot kr(&r);
    ASSERT_TRUE(r.header & ROUTINE_FLAGGED);
    Cell dt{TYPE_DATATYPE, TYPE_OP, 0, 0};
    Cell op = *native::op_make(&dt, &r);
    stack::pop(1);
    EXPECT_EQ(type_of(&op), TYPE_OP);
    EXPECT_EQ(native::op_source_type(&op), uint32_t(TYPE_ROUTINE));
    EXPECT_TRUE(op.header & ROUTINE_FLAGGED);
    EXPECT_EQ(op.header & ROUTINE_ARITY_MASK, r.header & ROUTINE_ARITY_MASK);
}

TEST_F(NativeValues, ReflectFormMoldCompare) {
    Cell n = make(TYPE_NATIVE, "[[a b] 3]");
    Cell same = make(TYPE_NATIVE, "[[other] 3]");
    Cell other = make(TYPE_NATIVE, "[[a b] 4]");
    Cell act = make(TYPE_ACTION, "[[s] 30]");
    Cell all[4] = {n, same, other, act};
    gc::CellRoot keep(all, 4);
    auto reflect = [&](Cell v, const char* field) {
        Cell f = loose_word(field);
        native::native_reflect(&v, &f);
        return v;
    };
    EXPECT_EQ(reflect(n, "body").data2, 3u);
    EXPECT_EQ(reflect(act, "body").data2, 30u);
    EXPECT_EQ(mold_text(reflect(n, "spec")), "[a b]");
    EXPECT_EQ(raised_id([&] { reflect(n, "words"); }), "internal/not-done");
    // action! takes reflect from native!.
    EXPECT_EQ(registry::entry(TYPE_ACTION, SLOT_REFLECT), registry::entry(TYPE_NATIVE, SLOT_REFLECT));

    EXPECT_EQ(form_text(n), "?native?");
    EXPECT_EQ(form_text(act), "?action?");
    EXPECT_EQ(mold_text(n), "make native! [[a b]]");
    EXPECT_EQ(mold_text(act), "make action! [[s]]");

    EXPECT_EQ(native::native_compare(&n, &same, COMP_EQUAL), 0);   // the same entry
    EXPECT_EQ(native::native_compare(&n, &other, COMP_EQUAL), -1);
    EXPECT_EQ(native::native_compare(&other, &n, COMP_SORT), 1);
    EXPECT_EQ(native::native_compare(&n, &other, COMP_LESSER), COMPARE_INCOMPARABLE);
    EXPECT_EQ(native::native_compare(&n, &act, COMP_EQUAL), COMPARE_INCOMPARABLE);
}

}  // namespace
}  // namespace qor
