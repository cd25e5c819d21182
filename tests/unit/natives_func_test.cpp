// The function-making natives: func, function, does and has.
#include "natives_fixture.hpp"

namespace qor {
namespace {

using namespace test;

class FuncNatives : public NativesFixture {};

TEST_F(FuncNatives, MakersBuildTheSpecTheyAreGiven) {
    expect_cases({
        {"f: func [a b] [a + b] f 1 2", "3"},
        {"f: func [a b] [a + b] mold :f", "\"func [a b][a + b]\""},
        {"f: func [a [integer!] /twice] [either twice [a * 2] [a]] f/twice 4", "8"},
        {"f: func [a [integer!] /twice] [either twice [a * 2] [a]] f 4", "4"},
        {"f: does [1] f", "1"},
        {"mold does [1]", "\"func [][1]\""},
        {"mold has [a] [a: 1]", "\"func [/local a][a: 1]\""},
        {"f: has [a] [a: 5 a * 2] f", "10"},
        {"mold func [a [block!] return: [integer!]] [a]", "\"func [a [block!] return: [integer!]][a]\""},
        {"fact: func [n] [either n < 2 [1] [n * fact n - 1]] fact 10", "3628800"},
        {"f: func [] [loop 3 [return 5] 0] f", "5"},
        {"f: func [] [exit 0] f", "unset"},
    });
}

TEST_F(FuncNatives, FunctionMakesSetWordsLocal) {
    expect_cases({
        {"x: 0 f: function [] [x: 1] f x", "0"},
        {"x: 0 f: function [/extern x] [x: 1] f x", "1"},
        {"mold function [a] [b: a [c: 1]]", "\"func [a /local b c][b: a [c: 1]]\""},
        {"mold function [a /local b] [b: 1 d: 2]", "\"func [a /local b d][b: 1 d: 2]\""},
        {"mold function [] [foreach [i j] [] [] repeat k 1 []]", "{func [/local i j k][foreach [i j] [] [] repeat k 1 []]}"},
        {"x: 0 f: function [a] [x: a * 2 x] f 4", "8"},
        {"x: 0 f: function [a] [x: a * 2 x] f 4 x", "0"},
        {"function [/extern 1] []", "error script/bad-func-extern"},
    });
}

TEST_F(FuncNatives, SpecsAndBodiesAtOrPastTheirTail) {
    expect_cases({
        {"s: [a b] f: func next s [b] f 7", "7"},
        {"b: [1 2] c: next next b clear b f: func [] c f", "unset"},
        {"b: [1 2] c: next next b clear b mold func [] c", "\"func [][]\""},
        {"s: [a] t: next s clear s f: func t [1] f", "1"},
        // The body is copied: changing the source block later changes nothing.
        {"b: [1] f: func [] b append b 2 f", "1"},
    });
}

TEST_F(FuncNatives, SpecErrorsComeFromTheSpecCheck) {
    expect_cases({
        {"func [a a] []", "error script/dup-vars"},
        {"func [a [no-such-type!]] []", "error script/no-value"},
        {"func [1] []", "error script/bad-func-def"},
        {"has [a a] []", "error script/dup-vars"},
        {"func [a] ", "error script/no-arg"},
    });
}

TEST_F(FuncNatives, CheckedCallsRefuseNonBlocks) {
    stack::Checkpoint cp = stack::checkpoint();
    stack::mark_native(word::make_from_c_string("func"));
    Cell spec = integer::make(1), body = block::make(1);
    gc::CellRoot keep(&body);
    stack::push(&spec);
    stack::push(&body);
    try {
        natives::func_star(true, nullptr);
        ADD_FAILURE() << "no error";
    } catch (const Thrown& t) {
        EXPECT_EQ(t.code, THROW_ERROR);
        EXPECT_EQ(last_raised_error().id, "expect-arg");
        EXPECT_EQ(arg_spelling(last_raised_error(), 2), "spec");
    }
    stack::restore(cp);
}

}  // namespace
}  // namespace qor
