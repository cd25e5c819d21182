// The interpreter: blocks, expressions, set-words, the word kinds, parens,
// paths and infix operators.
#include "runtime_fixture.hpp"

namespace qor {
namespace {

using namespace test;

class Interpreter : public RuntimeFixture {};

TEST_F(Interpreter, ExpressionsAndOperators) {
    struct Case {
        const char* code;
        int32_t expected;
    } cases[] = {
        {"1 + 2 * 3", 9},            // no precedence: left to right
        {"2 * (1 + 2)", 6},
        {"1 + 2 3 + 4", 7},          // the last expression's value
        {"add 1 2 * 3", 7},          // an argument is a whole expression
        {"(1) + (2)", 3},
        {"10 - 2 - 3", 5},
        {"a: b: 1 + 2 a + b", 6},
        {"x: 5 x: x + 1 x", 6},
        {"negate 4 + 1", -5},
    };
    for (const Case& c : cases) EXPECT_EQ(eval_int(c.code), c.expected) << c.code;
}

TEST_F(Interpreter, SetWordChainsAssignAfterTheWholeExpression) {
    EXPECT_EQ(eval_int("a: b: 10"), 10);
    EXPECT_EQ(global("a").data2, 10u);
    EXPECT_EQ(global("b").data2, 10u);
    eval("c: 1 c: c + 1 * 10");
    EXPECT_EQ(int32_t(global("c").data2), 20);
}

TEST_F(Interpreter, ValuesOfTheWordKinds) {
    Cell r = eval("'foo");
    EXPECT_EQ(type_of(&r), TYPE_WORD);
    EXPECT_EQ(test::spelling_of(int32_t(r.data2)), "foo");
    r = eval("'a/b");
    EXPECT_EQ(type_of(&r), TYPE_PATH);
    EXPECT_EQ(r.data3, 0u);
    EXPECT_EQ(molded(r), "a/b");
    r = eval(":nothing-here");
    EXPECT_EQ(type_of(&r), TYPE_UNSET);   // a get-word of an unset word: no error
    r = eval("[]");
    EXPECT_EQ(type_of(&r), TYPE_BLOCK);
    r = eval("f: :add :f");
    EXPECT_EQ(type_of(&r), TYPE_ACTION);  // not called
    r = eval("#system");
    EXPECT_EQ(type_of(&r), TYPE_ISSUE);   // not followed by a block: just an issue
    r = eval("w: 'v :w");
    EXPECT_EQ(type_of(&r), TYPE_WORD);
}

TEST_F(Interpreter, BlocksLeaveOneValue) {
    Cell empty = load_source(""), three = load_source("1 2 3");
    gc::CellRoot k1(&empty), k2(&three);
    Cell* before = stack::arguments_top();
    interp::eval_block(&empty, false);
    EXPECT_EQ(stack::arguments_top(), before + 1);
    EXPECT_EQ(stack::top_type(), uint32_t(TYPE_UNSET));
    stack::pop(1);
    interp::eval_block(&three, false);
    EXPECT_EQ(stack::arguments_top(), before + 1);
    EXPECT_EQ(stack::top_value()->data2, 3u);
    stack::pop(1);
    EXPECT_TRUE(stack::frames_empty());
}

TEST_F(Interpreter, ErrorsOfExpressions) {
    struct Case {
        const char* code;
        const char* category;
        const char* id;
        const char* arg1;   // the spelling of the first argument, when a word
    } cases[] = {
        {"x:", "script", "need-value", "x"},
        {"x: ()", "script", "need-value", "x"},
        {"1 x:", "script", "need-value", "x"},
        {"+ 1 2", "script", "no-op-arg", "+"},
        {"unknown-word", "script", "no-value", "unknown-word"},
        {"1 + unknown-word", "script", "no-value", "unknown-word"},
        {"#system [x]", "internal", "qor-system", nullptr},
        {"#system-global [x]", "internal", "qor-system", nullptr},
        {"nope/1", "script", "unset-path", nullptr},
        {"add 1", "script", "no-arg", "add"},
        {"loop \"x\" []", "script", "expect-arg", "loop"},
    };
    for (const Case& c : cases) {
        RaisedError e = eval_error(c.code);
        EXPECT_EQ(e.category, c.category) << c.code;
        EXPECT_EQ(e.id, c.id) << c.code;
        if (c.arg1) {
            EXPECT_EQ(arg_spelling(e, 0), c.arg1) << c.code;
        }
        EXPECT_TRUE(stack::frames_empty()) << c.code;
    }
    RaisedError e = eval_error("b: [1 2] b/1:");
    EXPECT_EQ(e.id, "need-value");
    EXPECT_EQ(type_of(&e.args[0].value), TYPE_SET_PATH);
    e = eval_error("loop \"x\" []");
    EXPECT_EQ(arg_spelling(e, 2), "count");
    EXPECT_EQ(e.args[1].value.data1, uint32_t(TYPE_STRING));
    e = eval_error("add 1");
    EXPECT_EQ(arg_spelling(e, 1), "value2");
}

TEST_F(Interpreter, AnOpMetAsAValueIsNotDone) {
    Cell code = load_source("0");
    gc::CellRoot keep(&code);
    *block::cell_at(&code, 0) = global("+");
    try {
        interp::eval_block(&code, false);
        ADD_FAILURE();
    } catch (const Thrown&) {
        EXPECT_EQ(last_raised_error().id, "not-done");
    }
    stack::init();
}

TEST_F(Interpreter, FunctionValuesMetAsValuesAreCalledUnlessLiteral) {
    Cell code = load_source("0 2");
    gc::CellRoot keep(&code);
    *block::cell_at(&code, 0) = global("negate");
    interp::eval_block(&code, false);
    EXPECT_EQ(int32_t(stack::top_value()->data2), -2);
    stack::pop(1);
    stack::mark_native(nullptr);
    uint32_t after = interp::eval_expression(&code, 0, 2, false, true, true);
    EXPECT_EQ(after, 1u);
    EXPECT_EQ(stack::top_type(), uint32_t(TYPE_ACTION));
    stack::unwind();
}

TEST_F(Interpreter, TheNearPositionNamesTheFailingExpression) {
    eval_error("a: 1 b: 2 c: a + zzz d: 4");
    Cell near = *error::field(errors::last_raised(), ERR_NEAR);
    ASSERT_TRUE(is_any_block(type_of(&near)));
    Cell first = *block::item(&near, 0);
    EXPECT_EQ(type_of(&first), TYPE_SET_WORD);
    EXPECT_EQ(test::spelling_of(int32_t(first.data2)), "c");
}

TEST_F(Interpreter, Paths) {
    eval("b: [10 20 30] i: 2");
    EXPECT_EQ(eval_int("b/2"), 20);
    EXPECT_EQ(eval_int("b/:i"), 20);
    EXPECT_EQ(eval_int("b/2: 99 b/2"), 99);
    EXPECT_EQ(eval_int("b/3: 1 + 2"), 3);     // the whole expression is stored
    Cell r = eval(":b/1");
    EXPECT_EQ(r.data2, 10u);
    r = eval("b/9");
    EXPECT_EQ(type_of(&r), TYPE_NONE);
    eval("n: [a [x 7]]");
    EXPECT_EQ(eval_int("n/a/x"), 7);
    EXPECT_EQ(eval_int("n/a/x: 8 n/a/x"), 8);
    RaisedError e = eval_error("b/1/2");
    EXPECT_EQ(e.id, "bad-path-type");
    Cell cut = e.args[2].value;
    EXPECT_EQ(molded(cut), "b/1");
}

TEST_F(Interpreter, PathErrors) {
    eval("f: func [a] [a] b: [1]");
    EXPECT_EQ(eval_error("f/x: 1").id, "invalid-path-set");
    EXPECT_EQ(eval_error(":f/x").id, "invalid-path-get");
    EXPECT_EQ(eval_error("b/:nothing").id, "invalid-path");
    RaisedError e = eval_error("zz/1");
    EXPECT_EQ(e.id, "unset-path");
    EXPECT_EQ(arg_spelling(e, 1), "zz");
    Cell empty = load_source("0");
    gc::CellRoot keep(&empty);
    Cell path = block::make(1);
    gc::CellRoot keep_path(&path);
    path.header = TYPE_PATH;
    *block::cell_at(&empty, 0) = path;
    try {
        interp::eval_block(&empty, false);
        ADD_FAILURE();
    } catch (const Thrown&) {
        EXPECT_EQ(last_raised_error().id, "empty-path");
    }
    stack::init();
    Cell code = load_source("0");   // a path whose head is not a word
    gc::CellRoot kc(&code);
    Cell head_int = block::make(2);
    gc::CellRoot kh(&head_int);
    Cell one = integer::make(1), two = integer::make(2);
    block::append_copy(&head_int, &one);
    block::append_copy(&head_int, &two);
    head_int.header = TYPE_PATH;
    *block::cell_at(&code, 0) = head_int;
    try {
        interp::eval_block(&code, false);
        ADD_FAILURE();
    } catch (const Thrown&) {
        EXPECT_EQ(last_raised_error().id, "word-first");
    }
    stack::init();
}

TEST_F(Interpreter, ValuesSurviveCollectionsDuringEvaluation) {
    // Every step allocates (blocks, strings): under QOR_GC_STRESS each one
    // collects, and values held only by the stacks must stay.
    eval("acc: [] loop 50 [append acc form 12345 append acc [x]]");
    Cell acc = global("acc");
    EXPECT_EQ(block::remaining_length(&acc), 100u);
    Cell first = *block::item(&acc, 0);
    EXPECT_EQ(string::to_utf8(&first), "12345");
    gc::collect();
    acc = global("acc");
    first = *block::item(&acc, 98);
    EXPECT_EQ(string::to_utf8(&first), "12345");
}

TEST_F(Interpreter, CodeChangedWhileItRuns) {
    // A block that shortens itself stops at its new tail; one that grows is
    // walked to the tail it had when it started.
    eval("code: [append code [99] 1 + 1]");
    Cell r = eval("do code");
    EXPECT_EQ(r.data2, 2u);
    r = eval("code: [clear code 5] do code");
    EXPECT_EQ(type_of(&r), TYPE_BLOCK);
    EXPECT_EQ(block::remaining_length(&r), 0u);
}

}  // namespace
}  // namespace qor
