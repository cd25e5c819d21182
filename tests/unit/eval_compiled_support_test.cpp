// Support routines of compiled code.
#include "runtime/compiled_support.hpp"

#include <memory>

#include "eval_support.hpp"

namespace qor {
namespace {

using test::EvalFixture;
using test::read_code;

class CompiledSupport : public EvalFixture {};

TEST_F(CompiledSupport, ArgumentChecks) {
    Cell none_allowed{TYPE_TYPESET, 0, 0, 0};
    stack::mark_native(nullptr);
    Cell v = integer::make(1);
    stack::push(&v);
    compiled::native_check_arg_type(-1, &none_allowed, 0);   // an unused refinement's argument
    RaisedError e = test::raised_by([&] { compiled::native_check_arg_type(0, &none_allowed, 0); });
    EXPECT_EQ(e.id, "expect-arg");
    Cell ints{TYPE_TYPESET, 0, 0, 0};
    typeset_set_bit(&ints, TYPE_INTEGER);
    EXPECT_EQ(compiled::check_arg_type(&ints, 0, &v), &v);
    Cell off{TYPE_LOGIC, 0, 0, 0};
    Cell text = string::from_utf8("x");
    gc::CellRoot keep(&text);
    EXPECT_EQ(compiled::check_arg_type_opt(&off, &ints, 0, &text), &text);
    Cell unset{TYPE_UNSET, 0, 0, 0};
    e = test::raised_by([&] { compiled::check_not_unset(0, &unset); });
    EXPECT_EQ(e.id, "expect-arg");
    EXPECT_EQ(e.args[1].value.data1, uint32_t(TYPE_UNSET));
    stack::init();
}

TEST_F(CompiledSupport, WordsLocalsAndFields) {
    eval("w: 1");
    Cell w = *word::make_from_c_string("w");
    EXPECT_EQ(compiled::get_word_value_checked(&w)->data2, 1u);
    Cell nothing = *word::make_from_c_string("not-set-anywhere");
    EXPECT_EQ(test::raised_by([&] { compiled::get_word_value_checked(&nothing); }).id, "no-value");
    Cell five = integer::make(5);
    stack::push(&five);
    compiled::set_word_result(&w);
    EXPECT_EQ(global("w").data2, 5u);
    EXPECT_EQ(stack::depth(), 0u);

    // An object field takes unset without complaint; a local refuses it.
    Cell proto{TYPE_DATATYPE, TYPE_OBJECT, 0, 0};
    Cell spec = read_code("a: 1 b: 2");
    gc::CellRoot keep(&spec);
    Cell obj = *object::make(&proto, &spec);
    gc::CellRoot keep_obj(&obj);
    stack::init();
    Node ctx = reinterpret_cast<Node>(obj.data1);
    Cell unset{TYPE_UNSET, 0, 0, 0};
    stack::push(&unset);
    compiled::set_object_field(ctx, 0);
    EXPECT_EQ(type_of(compiled::get_context_slot(ctx, 0)), TYPE_UNSET);
    EXPECT_EQ(stack::depth(), 0u);
    stack::push(&unset);
    RaisedError e = test::raised_by([&] { compiled::set_local(ctx, 1); });
    EXPECT_EQ(e.id, "need-value");
    EXPECT_EQ(arg_spelling(e, 0), "b");
    stack::init();
    stack::push(&five);
    compiled::set_local_keep(ctx, 1);
    EXPECT_EQ(compiled::get_context_slot(ctx, 1)->data2, 5u);
    EXPECT_EQ(stack::depth(), 1u);
    // A function context with no running call has no slots to give.
    define("f", "x", "x");
    Cell f = global("f");
    e = test::raised_by([&] { compiled::get_context_slot(function::context_of(&f), 0); });
    EXPECT_EQ(e.id, "not-defined");
}

TEST_F(CompiledSupport, RefinementsDecidedAtRunTime) {
    stack::mark_native(nullptr);
    Cell flag{TYPE_LOGIC, 0, 0, 0}, one = integer::make(1), none{TYPE_NONE, 0, 0, 0};
    stack::push(&flag);
    stack::push(&one);
    stack::push(&one);
    compiled::init_refinement(&none, 0, 2);   // not used: its arguments become none
    EXPECT_EQ(type_of(stack::arguments_base() + 1), TYPE_NONE);
    EXPECT_EQ(type_of(stack::arguments_base() + 2), TYPE_NONE);
    compiled::init_refinement(&one, 0, 2);
    EXPECT_EQ(stack::arguments_base()->data1, 1u);
    stack::init();

    // append/only [] [1 2] through the dispatcher table, /only decided now.
    stack::mark_native(nullptr);
    Cell target = block::make(2), value = test::ints({1, 2}), yes{TYPE_LOGIC, 1, 0, 0};
    gc::CellRoot k1(&target), k2(&value);
    stack::push(&target);
    stack::push(&value);
    compiled::RefinementUse only{&yes, 2, 0, 0};
    compiled::CallDescriptor d{SLOT_APPEND, false, 3, &only, 1};
    compiled::call_with_refinements(d);
    EXPECT_EQ(molded(target), "[[1 2]]");
    stack::init();
}

TEST_F(CompiledSupport, PathsAndLiterals) {
    eval("b: [10 [x 20]]");
    Cell path = read_code("b/2/x");
    gc::CellRoot keep(&path);
    Cell p = *block::cell_at(&path, 0);
    gc::CellRoot keep_p(&p);
    stack::mark_native(nullptr);
    Cell* slot = stack::push_slot();
    *slot = Cell{TYPE_NONE, 0, 0, 0};
    compiled::eval_path(false, &p);
    EXPECT_EQ(stack::arguments_base()->data2, 20u);
    *stack::arguments_base() = integer::make(21);
    p.header = TYPE_SET_PATH;
    compiled::eval_path(true, &p);
    stack::init();
    EXPECT_EQ(eval_int("b/2/x"), 21);

    Cell literals[3] = {integer::make(7), Cell{TYPE_NONE, 0, 0, 0}, Cell{TYPE_OBJECT, 0x1234, 0, 0}};
    compiled::set_literal_base(literals);
    EXPECT_EQ(compiled::get_literal(0)->data2, 7u);
    EXPECT_EQ(compiled::get_literal_node(2), 0x1234u);
}

TEST_F(CompiledSupport, SwitchAndSelectSearch) {
    struct Case {
        const char* value;
        const char* cases;
        bool push, switch_;
        const char* expected;   // molded
    } cases[] = {
        {"2", "[1 [one] 2 [two]]", false, true, "[two]"},
        {"2", "[1 2 [both]]", true, true, "[both]"},         // push mode: every cell is a candidate
        {"[1]", "[[1] [block]]", false, true, "none"},       // a block finds nothing
        {"3", "[1 [one]]", false, true, "none"},
        {"2", "[1 a 2 b]", false, false, "b"},               // select: the cell after the match
        {"2", "[1 2]", true, false, "2"},                    // the last cell: the match itself
        {"2", "[2.0 x]", false, false, "none"},              // the same datatype is required
    };
    for (const Case& c : cases) {
        Cell value = *block::cell_at(&*std::make_unique<Cell>(read_code(c.value)), 0);
        Cell blk = *block::cell_at(&*std::make_unique<Cell>(read_code(c.cases)), 0);
        gc::CellRoot k1(&value), k2(&blk);
        stack::init();
        stack::mark_native(nullptr);
        stack::push(&value);
        stack::push(&blk);
        Cell r = *compiled::switch_find(c.push, c.switch_);
        EXPECT_EQ(molded(r), c.expected) << c.value << " in " << c.cases;
    }
    stack::init();
}

TEST_F(CompiledSupport, ErrorsReportedWithoutUnwinding) {
    stack::mark_native(nullptr);
    Cell* base = stack::arguments_base();
    compiled::make_and_print_error("script", "no-value", nullptr);
    EXPECT_EQ(stack::arguments_base(), base);
    EXPECT_EQ(type_of(base), TYPE_UNSET);
    stack::init();
    Cell a = integer::make(1), b = integer::make(2);
    RaisedError e = test::raised_by([&] { compiled::raise_bad_make_arg(&a, &b); });
    EXPECT_EQ(e.id, "bad-make-arg");
}

}  // namespace
}  // namespace qor
