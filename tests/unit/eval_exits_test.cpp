// Non-local exits: break, continue, return, exit, throw and errors unwinding
// through the frames, the barrier of try/all, and stack overflow.
#include "runtime_fixture.hpp"

namespace qor {
namespace {

using namespace test;

class Exits : public RuntimeFixture {};

TEST_F(Exits, BreakAndContinueStopAtTheirLoop) {
    EXPECT_EQ(eval_int("n: 0 loop 10 [n: n + 1 if n = 3 [break]] n"), 3);
    EXPECT_EQ(eval_int("loop 10 [break/return 42]"), 42);
    EXPECT_EQ(eval_int("n: 0 loop 5 [if n > 1 [n: n + 10 continue] n: n + 1] n"), 32);
    // break crosses a function call and a plain try, but not a try/all.
    define("quit-loop", "", "break/return 7");
    EXPECT_EQ(eval_int("loop 3 [quit-loop 1]"), 7);
    EXPECT_EQ(eval_int("loop 3 [try [break/return 8]]"), 8);
    Cell r = eval("loop 3 [try/all [break]]");
    ASSERT_EQ(type_of(&r), TYPE_ERROR);
    Cell id = *error::field(&r, ERR_ID);
    EXPECT_EQ(test::spelling_of(int32_t(id.data2)), "break");
    // Outside any loop.
    EXPECT_EQ(eval_error("break").id, "break");
    EXPECT_EQ(eval_error("continue").id, "continue");
    EXPECT_TRUE(stack::frames_empty());
}

TEST_F(Exits, ReturnFindsTheRunningBodyAndNotTheBarrier) {
    define("f", "", "loop 3 [do [return 5]] 0");
    EXPECT_EQ(eval_int("f"), 5);
    define("g", "", "try/all [return 1] 2");
    Cell r = eval("g");
    ASSERT_EQ(type_of(&r), TYPE_INTEGER);   // the error value was dropped; 2 is the body's value
    EXPECT_EQ(r.data2, 2u);
    EXPECT_EQ(eval_error("return 1").id, "return");
}

TEST_F(Exits, ThrowAndCatch) {
    EXPECT_EQ(eval_int("catch [1 + throw 5 99]"), 5);
    EXPECT_EQ(eval_int("catch [loop 3 [catch [throw 1] throw 2]]"), 2);
    define("deep", "n", "if n = 0 [throw 100] deep n - 1");
    EXPECT_EQ(eval_int("catch [deep 20]"), 100);
    EXPECT_TRUE(stack::frames_empty());
    RaisedError e = eval_error("throw 1");
    EXPECT_EQ(e.category, "throw");
    EXPECT_EQ(e.id, "throw");
    EXPECT_EQ(e.args[0].value.data2, 1u);
    Cell where = *error::field(errors::last_raised(), ERR_WHERE);
    EXPECT_EQ(test::spelling_of(int32_t(where.data2)), "throw");
    // A throw does not cross a try/all.
    Cell r = eval("catch [try/all [throw 3]]");
    EXPECT_EQ(type_of(&r), TYPE_ERROR);
}

TEST_F(Exits, ErrorsUnwindToTheNearestTryAndRestoreTheStacks) {
    define("fails", "a", "nothing-here");
    Cell r = eval("try [loop 3 [fails 1]]");
    ASSERT_EQ(type_of(&r), TYPE_ERROR);
    Cell where = *error::field(&r, ERR_WHERE);
    EXPECT_EQ(test::spelling_of(int32_t(where.data2)), "fails");
    Cell stamp = *error::field(&r, ERR_STACK);
    EXPECT_EQ(type_of(&stamp), TYPE_INTEGER);
    EXPECT_GT(int32_t(stamp.data2), 3);
    // The failing function's context has no running call any more, and the
    // next evaluation starts on clean stacks.
    Cell fn = global("fails");
    EXPECT_EQ(context::stack_values(function::context_of(&fn)), nullptr);
    EXPECT_EQ(eval_int("try [1 / 0] 5"), 5);
    EXPECT_TRUE(stack::frames_empty());
}

TEST_F(Exits, RecursionWithoutEndRaisesStackOverflowAndEvaluationGoesOn) {
    define("forever", "n", "forever n + 1");
    Cell r = eval("try [forever 1]");
    ASSERT_EQ(type_of(&r), TYPE_ERROR);
    Cell id = *error::field(&r, ERR_ID);
    EXPECT_EQ(test::spelling_of(int32_t(id.data2)), "stack-overflow");
    EXPECT_TRUE(stack::frames_empty());
    EXPECT_EQ(eval_int("1 + 1"), 2);
    define("deeper", "n", "(deeper n + 1) + 1");
    r = eval("try [deeper 1]");
    ASSERT_EQ(type_of(&r), TYPE_ERROR);
    EXPECT_EQ(eval_int("x: 3 x * 3"), 9);
}

}  // namespace
}  // namespace qor
