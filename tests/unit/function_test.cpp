// function! and routine!: spec validation, making, local collection, the
// default count, and the datatype actions.
#include "datatypes/function.hpp"

#include <gtest/gtest.h>

#include "runtime_fixture.hpp"

namespace qor {
namespace {

using namespace test;

class Functions : public ObjectFixture {};

TEST_F(Functions, SpecValidation) {
    struct Case {
        const char* spec;
        const char* error;   // "" when valid
    };
    const Case cases[] = {
        {"[a [integer!] \"doc\" /ref b return: [integer!] /local x]", ""},
        {"[\"doc\" a :b 'c /only d [block!] \"about d\"]", ""},
        {"[[trace] a]", ""},
        {"[a return: [integer!] \"after return\" /local x y]", ""},
        {"[a \"doc\" [integer!]]", "script/bad-func-def"},            // doc before the type block
        {"[a A]", "script/dup-vars"},
        {"[a /a]", "script/dup-vars"},
        {"[a return: 1]", "script/bad-func-def"},
        {"[return: [integer!] return: [integer!]]", "script/bad-func-def"},
        {"[return: [integer!] a]", "script/bad-func-def"},            // argument after return:
        {"[return: [integer!] x]", "script/bad-func-def"},
        {"[return: [integer!] 5]", "script/bad-func-def"},
        {"[/ref [integer!]]", "script/bad-func-def"},                 // refinements take no types
        {"[/local x /ref]", "script/bad-func-def"},
        {"[/local :x]", "script/bad-func-def"},
        {"[/local x return: [integer!]]", "script/bad-func-def"},
        {"[a: 1]", "script/bad-func-def"},
        {"[a 5]", "script/bad-func-def"},
        {"[[1] a]", "script/bad-func-def"},                           // attributes are words
        {"[a [5]]", "script/invalid-type-spec"},
        {"[a [undefined-type!]]", "script/no-value"},
    };
    for (const Case& c : cases) {
        Cell spec = first_of(c.spec);
        gc::CellRoot keep(&spec);
        EXPECT_EQ(raised_id([&] { function::validate_spec(&spec); }), c.error) << c.spec;
    }
    Cell traced = first_of("[[trace no-trace other] a]");
    EXPECT_EQ(function::validate_spec(&traced), FUNC_TRACE | FUNC_NO_TRACE);
    Cell plain = first_of("[a b]");
    EXPECT_EQ(function::validate_spec(&plain), 0u);

    // The error names the later of two equal names.
    Cell dup = first_of("[a b /B]");
    EXPECT_EQ(raised_id([&] { function::validate_spec(&dup); }), "script/dup-vars");
    EXPECT_EQ(type_of(&last_raised_error().args[0].value), TYPE_REFINEMENT);
}

TEST_F(Functions, CountSpecWords) {
    struct Case {
        const char* spec;
        bool must;
        int32_t count;
    };
    const Case cases[] = {
        {"[a /local x y]", false, 3},
        {"[a b]", false, 0},
        {"[a b]", true, -1},
        {"[a /ref r /LOCAL x]", false, 2},
        {"[/local]", true, 1},
    };
    for (const Case& c : cases) {
        Cell spec = first_of(c.spec);
        EXPECT_EQ(function::count_spec_words(cell_node(&spec), 0, c.must), c.count) << c.spec;
    }
    open_call();
    function::push_refinement_defaults(3);
    EXPECT_EQ(mold_text(*stack::top_value()), "none");
    EXPECT_EQ(type_of(stack::top_value() - 2), TYPE_LOGIC);
    EXPECT_EQ((stack::top_value() - 2)->data1, 0u);
}

TEST_F(Functions, MakeValueBuildsContextAndBinds) {
    Cell fn = make_function("[a b /only c /local d]", "[a + d [c]]");
    gc::CellRoot keep(&fn);
    EXPECT_EQ(type_of(&fn), TYPE_FUNCTION);
    Node ctx = function::context_of(&fn);
    EXPECT_TRUE(context::values_on_stack(ctx));
    EXPECT_EQ(context::word_count(ctx), 6u);   // a b /only c /local d
    EXPECT_EQ(context::self_cell(ctx)->data3, fn.data3);
    EXPECT_EQ(function::code_address(&fn), 0u);
    EXPECT_EQ(function::owner_context(&fn), nullptr);

    Cell body = *function::body_of(&fn);
    Cell a = *block::cell_at(&body, 0), d = *block::cell_at(&body, 2);
    Cell inner = *block::cell_at(&body, 3);
    Cell c = *block::cell_at(&inner, 0);
    EXPECT_EQ(word::context_of(&a), ctx);
    EXPECT_EQ(word::index_of(&a), 0);
    EXPECT_EQ(word::index_of(&d), 5);
    EXPECT_EQ(word::context_of(&c), ctx);   // bound deep
    Cell plus = *block::cell_at(&body, 1);
    EXPECT_EQ(word::context_of(&plus), context::global());

    EXPECT_EQ(mold_text(fn), "func [a b /only c /local d][a + d [c]]");
    EXPECT_EQ(form_text(fn), "?function?");

    // A spec taken from the middle of a block is copied from there; the body
    // is always a private deep copy.
    Cell outer = load_source("x y [a] [a]");
    gc::CellRoot ko(&outer);
    Cell tail_spec = outer;
    tail_spec.data1 = 1;   // y [a] [a]
    Cell src_body = *block::cell_at(&outer, 3);
    Cell made = *function::make_value(&tail_spec, &src_body, nullptr, 0x1234, nullptr, FUNC_TRACE);
    stack::pop(1);
    gc::CellRoot km(&made);
    EXPECT_NE(made.data2, outer.data2);
    EXPECT_EQ(mold_text(function::spec_block(&made)), "[y [a] [a]]");
    EXPECT_NE(cell_node(function::body_of(&made)), cell_node(&src_body));
    EXPECT_EQ(function::code_address(&made), 0x1234u);
    EXPECT_EQ(made.header & FUNC_ATTRIBUTE_MASK, FUNC_TRACE);

    Cell none = none_cell();
    Cell bodiless = *function::make_value(&tail_spec, &none, nullptr, 0, nullptr, 0);
    stack::pop(1);
    EXPECT_EQ(mold_text(bodiless), "func [y [a] [a]] none");
}

TEST_F(Functions, MakeAction) {
    Cell dt{TYPE_DATATYPE, TYPE_FUNCTION, 0, 0};
    Cell good = first_of("[[a] [a]]");
    gc::CellRoot kg(&good);
    open_call();
    Cell fn = *function::function_make(&dt, &good);
    EXPECT_EQ(type_of(&fn), TYPE_FUNCTION);
    for (const char* bad : {"[[a]]", "[[a] 5]", "[5 [a]]", "[[a a] [a]]"}) {
        Cell v = first_of(bad);
        gc::CellRoot kv(&v);
        std::string id = raised_id([&] { function::function_make(&dt, &v); });
        EXPECT_TRUE(id == "script/bad-func-def" || id == "script/dup-vars") << bad << " " << id;
    }
    Cell number = integer::make(3);
    EXPECT_EQ(raised_id([&] { function::function_make(&dt, &number); }), "script/bad-func-def");
}

TEST_F(Functions, ReflectAndCompare) {
    Cell fn = make_function("[a /r b]", "[b]");
    gc::CellRoot keep(&fn);
    auto reflect = [&](const char* field) {
        Cell r = fn, f = loose_word(field);
        function::function_reflect(&r, &f);
        return r;
    };
    EXPECT_EQ(mold_text(reflect("spec")), "[a /r b]");
    EXPECT_EQ(mold_text(reflect("body")), "[b]");
    Cell words = reflect("words");
    gc::CellRoot kw(&words);
    EXPECT_EQ(mold_text(words), "[a r b]");
    Cell w = *block::cell_at(&words, 2);
    EXPECT_EQ(word::context_of(&w), function::context_of(&fn));
    EXPECT_EQ(raised_id([&] { reflect("class"); }), "internal/not-done");

    Cell twin = make_function("[a /r b]", "[b]");
    EXPECT_EQ(function::function_compare(&fn, &fn, COMP_EQUAL), 0);
    EXPECT_NE(function::function_compare(&fn, &twin, COMP_EQUAL), 0);
    EXPECT_EQ(function::function_compare(&fn, &twin, COMP_LESSER), COMPARE_INCOMPARABLE);
    Cell one = integer::make(1);
    EXPECT_EQ(function::function_compare(&fn, &one, COMP_EQUAL), COMPARE_INCOMPARABLE);
}

TEST_F(Functions, CollectLocals) {
    Cell spec = first_of("[a /ref b]");
    Cell body = first_of("[x: 1 a: 2 (y: 3) foreach [k :v 'w 9] s [] foreach z s [] repeat i 3 [] "
                         "remove-each q s [] X: 0 inner [deep: 1]]");
    gc::CellRoot ks(&spec), kb(&body);
    open_call();
    Cell collected = *function::collect_locals(&spec, &body);
    EXPECT_EQ(mold_text(collected), "[x y k v w z i q deep]");
    EXPECT_EQ(mold_text(spec), "[a /ref b /local x y k v w z i q deep]");

    // /extern names are left out and cut from the spec; /local is reused.
    Cell spec2 = first_of("[a /local t /extern x]");
    Cell body2 = first_of("[x: 1 t: 2 n: 3]");
    gc::CellRoot ks2(&spec2), kb2(&body2);
    Cell collected2 = *function::collect_locals(&spec2, &body2);
    EXPECT_EQ(mold_text(collected2), "[n]");
    EXPECT_EQ(mold_text(spec2), "[a /local t n]");

    Cell spec3 = first_of("[a /extern 5]");
    gc::CellRoot ks3(&spec3);
    EXPECT_EQ(raised_id([&] { function::collect_locals(&spec3, &body2); }), "script/bad-func-extern");

    Cell spec4 = first_of("[a]"), body4 = first_of("[a: 1]");
    gc::CellRoot ks4(&spec4), kb4(&body4);
    function::collect_locals(&spec4, &body4);
    EXPECT_EQ(mold_text(spec4), "[a]");   // nothing new: no /local added
}

TEST_F(Functions, Routines) {
    Cell spec = first_of("[a [integer!] b c /ref d return: [integer!]]");
    Cell body = first_of("[native code]");
    gc::CellRoot ks(&spec), kb(&body);
    open_call();
    Cell r = *routine::push_new(&spec, &body, TYPE_INTEGER, 0xBEEF, 1);
    gc::CellRoot kr(&r);
    EXPECT_EQ(type_of(&r), TYPE_ROUTINE);
    EXPECT_EQ(routine::arity(&r), 3u);
    EXPECT_TRUE(r.header & ROUTINE_FLAGGED);
    EXPECT_EQ(routine::return_type(&r), int32_t(TYPE_INTEGER));
    EXPECT_EQ(function::code_address(&r), 0xBEEFu);
    EXPECT_EQ(mold_text(r), "routine [a [integer!] b c /ref d return: [integer!]][native code]");
    EXPECT_EQ(form_text(r), "?routine?");

    Cell text = string::from_utf8("glue");
    gc::CellRoot kt(&text);
    Cell r2 = *routine::push_new(&spec, &text, -1, 0, 0);
    EXPECT_FALSE(r2.header & ROUTINE_FLAGGED);
    EXPECT_EQ(routine::return_type(&r2), -1);
    EXPECT_EQ(mold_text(r2), "routine [a [integer!] b c /ref d return: [integer!]] \"glue\"");
    // reflect comes from function!; make is not supported.
    Cell field = loose_word("spec"), copy = r;
    registry::action<SLOT_REFLECT>(TYPE_ROUTINE)(&copy, &field);
    EXPECT_EQ(type_of(&copy), TYPE_BLOCK);
    EXPECT_EQ(registry::entry(TYPE_ROUTINE, SLOT_MAKE), ACTION_NONE);
    EXPECT_EQ(routine::routine_compare(&r, &r, COMP_EQUAL), 0);
    EXPECT_EQ(routine::routine_compare(&r, &r2, COMP_EQUAL) != 0, true);
}

}  // namespace
}  // namespace qor
