// The word, context and value natives: comparisons, same?, not, type?, get
// and set in all their target kinds, value? and unset, bind, in, context?,
// construct, extend and apply.
#include <vector>

#include "natives_fixture.hpp"

namespace qor {
namespace {

using namespace test;

class WordNatives : public NativesFixture {};

TEST_F(WordNatives, Comparisons) {
    expect_cases({
        {"equal? 1 1.0", "true"},
        {"equal? \"a\" \"A\"", "true"},
        {"not-equal? 1 2", "true"},
        {"not-equal? 1 1", "false"},
        {"strict-equal? 1 1.0", "false"},
        {"strict-equal? \"a\" \"A\"", "false"},
        {"strict-equal? [a] [a]", "true"},
        {"lesser? 1 2", "true"},
        {"lesser? 2 1", "false"},
        {"greater? 2 1", "true"},
        {"lesser-or-equal? 1 1", "true"},
        {"lesser-or-equal? 2 1", "false"},
        {"greater-or-equal? 1 2", "false"},
        {"greater-or-equal? 2 2", "true"},
        {"lesser? 1 \"a\"", "error script/invalid-compare"},
        {"equal? 1 \"a\"", "false"},
    });
}

TEST_F(WordNatives, IdentityTruthAndTypes) {
    expect_cases({
        {"same? 1 1", "true"},
        {"same? 1 1.0", "false"},
        {"b: [1 2] same? b b", "true"},
        {"b: [1 2] same? b copy b", "false"},
        {"b: [1 2] same? b next b", "false"},
        {"same? \"a\" \"a\"", "false"},   // equal text, two buffers
        {"same? 'a 'a", "true"},
        {"same? 'a 'A", "false"},
        {"o: make object! [a: 1] same? o o", "true"},
        {"same? make object! [] make object! []", "false"},
        {"not none", "true"},
        {"not false", "true"},
        {"not 0", "false"},
        {"not ()", "false"},
        {"type? 1", "integer!"},
        {"type? ()", "unset!"},
        {"type? type? 1", "datatype!"},
        {"type? type?/word 1", "word!"},
        {"type?/word \"a\"", "string!"},
    });
}

TEST_F(WordNatives, Get) {
    expect_cases({
        {"x: 5 get 'x", "5"},
        {"x: 5 get pick [:x] 1", "5"},
        {"get 'nothing-here", "error script/no-value"},
        {"type? get/any 'nothing-here", "unset!"},
        {"o: make object! [a: 1 b: [2]] get o", "[1 [2]]"},
        {"b: [1 [2 3]] get 'b/2/2", "3"},
        {"o: make object! [a: 7] get 'o/a", "7"},
        {"get 'b/9", "none"},
    });
    RaisedError e = run_error("get 'nothing-here");
    EXPECT_EQ(arg_spelling(e, 0), "nothing-here");
}

TEST_F(WordNatives, Set) {
    expect_cases({
        {"set 'x 7", "7"},
        {"set 'x 7 x", "7"},
        {"set pick [y:] 1 8 y", "8"},
        {"set 'x ()", "error script/need-value"},
        {"set/any 'x () value? 'x", "false"},
        {"set [a b c] [1 2] reduce [a b c]", "[1 2 none]"},
        {"set [a b] [1 2 3] reduce [a b]", "[1 2]"},
        {"set [a b] 5 reduce [a b]", "[5 5]"},
        {"set/only [a b] [1 2] a", "[1 2]"},
        {"a: 0 set/some [a b] reduce [none 2] reduce [a b]", "[0 2]"},
        {"set [a :b 'c d:] [1 2 3 4] reduce [a b c d]", "[1 2 3 4]"},
        {"set [a 1 b] [1 2 3]", "error script/invalid-arg"},
        {"set [a b] reduce [1 ()]", "error script/need-value"},
        {"set/any [a b] reduce [1 ()] value? 'b", "false"},
        {"b: [1 2] set 'b/1 9 b", "[9 2]"},
        {"b: [1 2] set 'b/2 ()", "error script/need-value"},
        {"o: make object! [a: 1 b: 2] set o [5 6] reduce [o/a o/b]", "[5 6]"},
        {"o: make object! [a: 1 b: 2] set/only o [5 6] o/b", "[5 6]"},
        {"set [] 1", "1"},
    });
}

TEST_F(WordNatives, ValueAndUnset) {
    expect_cases({
        {"x: 1 value? 'x", "true"},
        {"value? 'never-set", "false"},
        {"x: 1 unset 'x value? 'x", "false"},
        {"unset 'x", "unset"},
        {"a: 1 b: 2 unset [a 1 b] reduce [value? 'a value? 'b]", "[false false]"},
        {"f: func [p] [] value? pick [p] 1", "false"},   // p is not a local of a running call
        {"f: func [p] [value? 'p] f 1", "true"},
    });
}

TEST_F(WordNatives, BindInAndContexts) {
    expect_cases({
        {"o: make object! [x: 10] x: 1 do bind [x] o", "10"},
        {"o: make object! [x: 10] y: 3 do bind [y] o", "3"},   // absent words keep their binding
        {"o: make object! [x: 10] x: 1 b: [x] bind b o do b", "10"},
        {"o: make object! [x: 10] x: 1 b: [x] c: bind/copy b o reduce [do b do c]", "[1 10]"},
        {"o: make object! [x: 10] x: 1 get bind 'x o", "10"},
        {"o: make object! [x: 10] p: make object! [x: 20] do bind [x] in p 'x", "20"},
        {"o: make object! [x: 10] do bind [[x]] o", "[x]"},
        {"o: make object! [x: 10 f: does [x]] x: 1 do bind [f] o", "10"},
        {"o: make object! [a: 1] get in o 'a", "1"},
        {"o: make object! [a: 1] in o 'zz", "none"},
        {"o: make object! [a: 1] in o pick [a:] 1", "a:"},   // the argument's word kind stays
        {"f: func [p /r] [] in :f 'p", "p"},
        {"f: func [p /r] [] in :f 'q", "none"},
        {"in :pick 'index", "index"},
        {"o: make object! [a: 1] same? o context? in o 'a", "true"},
        {"f: func [p] [context? 'p] same? :f f 1", "true"},
    });
}

TEST_F(WordNatives, ConstructAndExtend) {
    expect_cases({
        {"o: construct [a: 1 b: c] o/b", "c"},
        {"o: construct [a: b: 2] reduce [o/a o/b]", "[2 2]"},
        {"type? get in construct [a: true] 'a", "logic!"},
        {"type? get in construct/only [a: true] 'a", "word!"},
        {"p: construct [a: 1] o: construct/with [b: 2] p reduce [o/a o/b]", "[1 2]"},
        {"p: construct [a: 1] o: construct/with [a: 5] p p/a", "1"},
        {"extend construct [a: 1] [b: 2]", "error internal/not-done"},
    });
}

TEST_F(WordNatives, Apply) {
    run("f: func [a b] [a - b]  g: func [a /r b] [either r [b] [a]]  h: func [v] [:v]");
    expect_cases({
        {"apply :f [10 3]", "7"},
        {"apply 'f [10 3]", "7"},
        {"apply :f [5 + 5 3]", "7"},                 // each argument is an expression
        {"n: 0 apply :f [n: n + 1 n] n", "1"},       // evaluated once
        {"x: 'y apply :h [x]", "y"},                 // the reduced value, not evaluated again
        {"type? apply :h [:pick]", "action!"},       // a function value is passed, not called
        {"apply :h [pick [(1 + 1)] 1]", "(1 + 1)"},
        {"apply :g [1 true 2]", "1"},                 // without /all only the arguments
        {"apply/all :g [1 true 2]", "2"},
        {"apply/all :g [1]", "1"},                   // missing: false and none
        {"apply/all :g [1 false 2]", "1"},
        {"apply/all/safer :g [1 false]", "1"},
        {"apply/all :g [1 none 2]", "error script/expect-arg"},
        {"apply :to-hex [255]", "#000000FF"},
        {"apply/all :to-hex [255 true 2]", "#FF"},
        {"apply/all :shift [1 4 true false]", "16"},
        {"apply :+ [1 2]", "3"},
        {"o: make object! [m: func [a] [a * 2]] apply 'o/m [4]", "8"},
        {"z: 1 apply 'z []", "error script/invalid-arg"},
        {"apply :f [1 (1 / 0)]", "error math/zero-divide"},
    });
}

TEST_F(WordNatives, CompiledCallsCheckTheirArguments) {
    Cell w = *word::make_from_c_string("native");
    auto call = [&](NativeFn entry, std::vector<Cell> args, std::vector<int32_t> refinements) {
        stack::Checkpoint cp = stack::checkpoint();
        stack::mark_native(&w);
        for (const Cell& a : args) stack::push(&a);
        try {
            entry(true, refinements.data());
        } catch (const Thrown&) {
            stack::restore(cp);
            return last_raised_error().id;
        }
        stack::restore(cp);
        return std::string("ok");
    };
    Cell one = integer::make(1), blk = block::make(1);
    gc::CellRoot keep(&blk);
    EXPECT_EQ(call(natives::get_star, {one}, {-1, -1}), "expect-arg");
    EXPECT_EQ(call(natives::set_star, {one, one}, {-1, -1, -1, -1}), "expect-arg");
    EXPECT_EQ(call(natives::bind_star, {blk, one}, {-1}), "expect-arg");
    EXPECT_EQ(call(natives::in_star, {one, one}, {}), "expect-arg");
    EXPECT_EQ(call(natives::apply_star, {one, blk}, {-1, -1}), "expect-arg");
    EXPECT_EQ(call(natives::construct_star, {blk, one}, {1, -1}), "expect-arg");
    EXPECT_EQ(call(natives::construct_star, {blk, one}, {-1, -1}), "ok");   // /with unused
}

}  // namespace
}  // namespace qor
