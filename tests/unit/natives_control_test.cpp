// The control-flow natives run from Qor source: conditionals, loops,
// switch and case, do, try, catch and throw, the exits, reduce and compose,
// and the natives table itself.
#include <new>
#include <stdexcept>
#include <string>

#include "natives_fixture.hpp"
#include "datatypes/root_block.hpp"

namespace qor {
namespace {

using namespace test;

class ControlNatives : public NativesFixture {};

TEST_F(ControlNatives, TableHoldsEveryEntryInOrder) {
    EXPECT_EQ(natives::count_word(), 108u);
    for (uint32_t i = 0; i < natives::NATIVE_COUNT; i++) EXPECT_NE(natives::table()[i], 0u) << i;
    EXPECT_EQ(natives::table()[0], reinterpret_cast<uintptr_t>(&natives::if_star));
    EXPECT_EQ(natives::table()[69], reinterpret_cast<uintptr_t>(&natives::try_star));
    EXPECT_EQ(natives::table()[106], reinterpret_cast<uintptr_t>(&natives::apply_star));
    Cell* print = natives::print_block();
    ASSERT_NE(print, nullptr);
    EXPECT_EQ(type_of(print), TYPE_BLOCK);
    EXPECT_GE(block::buffer(print)->capacity / sizeof(Cell), 32u);
    bool rooted = false;   // the root block holds it
    for (uint32_t i = 0; i < root_block::length(); i++)
        rooted = rooted || cell_node(root_block::cell_at(i)) == cell_node(print);
    EXPECT_TRUE(rooted);
}

TEST_F(ControlNatives, Conditionals) {
    expect_cases({
        {"if true [1]", "1"},
        {"if false [1]", "none"},
        {"if none [1]", "none"},
        {"if 0 [1]", "1"},
        {"if () [1]", "1"},   // unset counts as true
        {"if true []", "unset"},
        {"unless false [2]", "2"},
        {"unless 0 [2]", "none"},
        {"unless () [2]", "none"},
        {"either 1 [1] [2]", "1"},
        {"either none [1] [2]", "2"},
        {"either () [1] [2]", "error script/no-return"},
        {"any [false none 3 4]", "3"},
        {"any [false none]", "none"},
        {"any []", "none"},
        {"any [()]", "unset"},
        {"n: 0 any [n: n + 1 n: n + 10] n", "1"},
        {"all []", "none"},
        {"all [1 2 3]", "3"},
        {"all [1 none 3]", "none"},
        {"n: 0 all [false n: 1] n", "0"},
        {"all [1 ()]", "unset"},
        {"any [1 + 1 + 1]", "3"},
    });
}

TEST_F(ControlNatives, CountedLoops) {
    expect_cases({
        {"loop 0 [1]", "none"},
        {"loop -2 [1]", "none"},
        {"n: 0 loop 2.9 [n: n + 1] n", "2"},
        {"loop 3 [1]", "1"},
        {"loop 3 [break]", "unset"},
        {"loop 3 [break/return 5]", "5"},
        {"n: 0 loop 5 [n: n + 1 if n > 2 [continue] n: n + 10] n", "15"},
        {"repeat i -3 [1]", "none"},
        {"s: 0 repeat i 4 [s: s + i] s", "10"},
        {"repeat i 3 [i]", "3"},
        {"repeat i 5 [if i = 2 [break/return i * 100]]", "200"},
        {"i: 0 repeat i 3 [] i", "3"},   // the word keeps its last value
        {"n: 0 repeat i 4 [if i < 3 [continue] n: n + i] n", "7"},
        {"n: 0 forever [n: n + 1 if n = 4 [break]] n", "4"},
        {"forever [break/return 8]", "8"},
    });
}

// Counts beyond the integer range neither wrap nor run away: they loop
// until a break as a long count would.
TEST_F(ControlNatives, FloatCountsBeyondTheIntegerRange) {
    expect_cases({
        {"loop 1e10 [break/return 1]", "1"},
        {"loop 1e300 [break/return 2]", "2"},
        {"loop -1e10 [1]", "none"},
        {"n: 0 loop 4294967298.0 [n: n + 1 if n = 3 [break]] n", "3"},
        {"repeat i 1e10 [break/return i]", "1"},
        {"repeat i 4294967297.0 [if i = 2 [break/return i]]", "2"},
        {"repeat i -1e10 [1]", "none"},
    });
}

TEST_F(ControlNatives, ConditionLoops) {
    expect_cases({
        {"n: 0 while [n < 3] [n: n + 1] n", "3"},
        {"n: 0 while [n < 3] [n: n + 1]", "unset"},
        {"while [true] [break/return 5]", "unset"},
        {"while [false] [1]", "unset"},
        {"while [()] [1]", "error script/no-return"},
        {"loop 2 [while [break] [1]]", "error throw/while-cond"},
        {"loop 2 [while [continue] [1]]", "error throw/while-cond"},
        {"n: 0 until [n: n + 1 n = 3]", "true"},
        {"n: 0 until [n: n + 1 if n < 5 [continue] true] n", "5"},
        {"until [break/return 9]", "9"},
        {"until [()]", "error script/no-return"},
    });
}

TEST_F(ControlNatives, Foreach) {
    expect_cases({
        {"s: 0 foreach x [1 2 3] [s: s + x] s", "6"},
        {"foreach x [1 2 3] [x * 10]", "30"},
        {"foreach x [] [1]", "unset"},
        {"r: copy [] foreach x [a (b) c/d] [append/only r x] r", "[a (b) c/d]"},
        {"r: copy [] foreach [a b] [1 2 3] [append/only r reduce [a b]] r", "[[1 2] [3 none]]"},
        {"n: 0 foreach [a b] [1 2 3] [n: n + 1] n", "2"},
        {"r: copy [] foreach c \"abc\" [append r c] r", "[#\"a\" #\"b\" #\"c\"]"},
        {"r: copy [] foreach [a b] \"abc\" [append r b] r", "[#\"b\" none]"},
        {"r: copy [] foreach x next [1 2 3] [append r x] r", "[2 3]"},
        {"foreach x [1 2 3] [if x = 2 [break/return x * 7]]", "14"},
        {"r: copy [] foreach x [1 2 3 4] [if even? x [continue] append r x] r", "[1 3]"},
        {"foreach [] [1 2] [1]", "error script/invalid-arg"},
        {"foreach [a 1] [1 2] [1]", "error script/invalid-arg"},
    });
}

// A map! gives its live pairs, key then value, to exactly two words; a
// set-word! key arrives as a word!, holes (value header 0) are skipped.
TEST_F(ControlNatives, ForeachOverAMap) {
    Cell pairs = test::load_source("a: 1 b: 2 \"s\" 3 c: 4");
    gc::CellRoot keep(&pairs);
    block::cell_at(&pairs, 3)->header = 0;   // b's entry was removed
    set_global("m", Cell{TYPE_MAP, 0, pairs.data2, 0});
    expect_cases({
        {"r: copy [] foreach [k v] m [append r k append r v] r", "[a 1 \"s\" 3 c 4]"},
        {"foreach [k v] m [if v = 3 [break/return k]]", "\"s\""},
        {"foreach k m [1]", "error script/invalid-arg"},
        {"foreach [k v w] m [1]", "error script/invalid-arg"},
    });
}

TEST_F(ControlNatives, Forall) {
    expect_cases({
        {"s: [1 2 3] r: copy [] forall s [append r length? s] r", "[3 2 1]"},
        {"s: [1 2 3] forall s [s/1] ", "3"},
        {"s: next [1 2 3] forall s [] s", "[2 3]"},
        {"s: [1 2 3 4] forall s [if s/1 = 3 [break]] s", "[3 4]"},
        {"s: \"ab\" r: copy [] forall s [append r s/1] r", "[#\"a\" #\"b\"]"},
        {"s: [] forall s [1]", "unset"},
        {"s: 5 forall s [1]", "error script/expect-arg"},
        {"s: [1 2] forall s [s: [3 4]]", "error script/bad-loop-series"},
        {"s: [1 2] forall s [s: 7]", "error script/bad-loop-series"},
    });
    // The error names forall and its argument.
    RaisedError e = run_error("s: 5 forall s [1]");
    EXPECT_EQ(arg_spelling(e, 0), "forall");
    EXPECT_EQ(arg_spelling(e, 2), "word");
}

TEST_F(ControlNatives, RemoveEach) {
    expect_cases({
        {"s: [1 2 3 4 5] remove-each x s [x > 2]", "[1 2]"},
        {"s: [1 2 3 4 5] remove-each x next s [x > 2] s", "[1 2]"},
        {"s: [1 2 3 4 5] remove-each x next s [x < 3]", "[3 4 5]"},
        {"s: [1 2 3 4] remove-each x s [even? x] s", "[1 3]"},
        {"s: \"abcabc\" remove-each c s [c = #\"b\"]", "\"acac\""},
        {"s: [1 2 3 4 5 6] remove-each [a b] s [a = 3]", "[1 2 5 6]"},
        {"remove-each x [1 2 3] [()]", "[]"},   // unset counts as true
        {"s: [1 2 3] remove-each x s [if x = 2 [break] true] s", "[2 3]"},
        {"s: [1 2 3] remove-each x s [if x = 2 [continue] false] s", "[1 2 3]"},
        {"remove-each [] [1] [true]", "error script/invalid-arg"},
    });
}

// A last group shorter than the words removes only the items it has, and
// the walk never steps past the tail.
TEST_F(ControlNatives, RemoveEachShortLastGroup) {
    expect_cases({
        {"remove-each [a b] [1 2 3] [true]", "[]"},
        {"remove-each [a b] [1 2 3] [b = none]", "[1 2]"},
        {"remove-each [a b c] [1 2 3 4 5] [a = 4]", "[1 2 3]"},
        {"remove-each [a b c] [1 2 3 4 5] [a = 1]", "[4 5]"},
        {"s: \"abcde\" remove-each [a b] s [b = none]", "\"abcd\""},
        {"s: [1 2 3 4 5] r: copy [] remove-each [a b c] s [append/only r reduce [a b c] false] r",
         "[[1 2 3] [4 5 none]]"},
    });
}

TEST_F(ControlNatives, SwitchAndCase) {
    expect_cases({
        {"switch 2 [1 [10] 2 [20] 3 [30]]", "20"},
        {"switch 2 [1 2 3 [30]]", "30"},
        {"switch 4 [1 [10]]", "none"},
        {"switch/default 4 [1 [10]] [99]", "99"},
        {"switch 3 [1 [10] 3]", "none"},
        {"switch/default 3 [1 [10] 3] [99]", "none"},
        {"switch \"b\" [\"a\" [1] \"B\" [2]]", "2"},
        {"switch 2.0 [2 [1] 2.0 [2]]", "2"},   // the same datatype only
        {"switch [1] [[1] [1] 1 [2]]", "none"},   // a block never matches
        {"switch 'b [a [1] b [2]]", "2"},
        {"switch 1 [1 []]", "unset"},
        {"case []", "none"},
        {"case [false [1] true [2] true [3]]", "2"},
        {"case [false [1] none [2]]", "none"},
        {"case [true 5]", "5"},
        {"case [false 1 true 2 + 2]", "4"},
        {"case [false 1 + 1 true 2]", "error script/no-op-arg"},   // one value skipped,
        {"n: 0 case [false (n: 5) true [n]]", "0"},
        {"case/all [true [1] false [2]]", "none"},
        {"case/all [false [1] true [2]]", "2"},
        {"n: 0 case/all [true [n: n + 1] true [n: n + 10]] n", "11"},
        {"case [true]", "error script/need-value"},
        {"case [()]", "error script/need-value"},
        {"case [() [1]]", "error script/no-return"},
    });
}

TEST_F(ControlNatives, Do) {
    expect_cases({
        {"do [1 + 2]", "3"},
        {"do []", "unset"},
        {"do \"1 + 2 * 3\"", "9"},
        {"do \"\"", "unset"},
        {"do 5", "5"},
        {"a: 7 do 'a", "7"},
        {"b: [1 2 3] do 'b/2", "2"},
        {"f: func [] [42] do :f", "42"},
        {"x: [4 5 6] do next next next x", "unset"},
        {"do pick [(1 + 1)] 1", "2"},
        {"b: [1 + 2 3 * 4] do/next b 'p", "3"},
        {"b: [1 + 2 3 * 4] do/next b 'p p", "[3 * 4]"},
        {"p: none do/next [] 'p", "unset"},
        {"do/expand [1]", "1"},   // through the library's preprocessor
        {"expand-directives: none do/expand [1]", "error script/no-value"},
        {"do %no-such-file.qor", "error access/cannot-open"},   // through the library's do-file
        {"do-file: none do %file.qor", "error internal/not-done"},
        {"f: func [] [do [return 5] 0] f", "5"},
        {"loop 3 [do [break/return 4]]", "4"},
    });
}

TEST_F(ControlNatives, DoWithExpandAndFiles) {
    // The library's preprocessor and file loader are called when they exist.
    expect_cases({
        {"expand-directives: func [code job] [append code 10 code] do/expand [1 + 1]", "10"},
        {"do-file: func [file cb args] [reduce [cb args]] do/args %a.qor 5", "[none 5]"},
        {"do-file: func [file cb args] [reduce [cb args]] do http://h/x", "[none none]"},
    });
}

TEST_F(ControlNatives, DoRaisesAnErrorValue) {
    expect_cases({
        {"e: try [1 / 0] do :e", "error math/zero-divide"},
        {"e: try [1 / 0] try [do :e]", "error! math/zero-divide"},
    });
}

// do/trace installs the callback for one evaluation; return and exit in the
// traced code end that evaluation with do's result.
TEST_F(ControlNatives, DoTrace) {
    expect_cases({
        {"n: 0 cb: func [e c o v r f] [n: n + 1] do/trace [1 + 2] :cb", "3"},
        {"n: 0 cb: func [e c o v r f] [n: n + 1] do/trace [1 + 2] :cb n > 3", "true"},
        {"cb: func [e c o v r f] [] do/trace [return 5 6] :cb", "5"},
        {"cb: func [e c o v r f] [] do/trace [exit 6] :cb", "unset"},
        {"cb: func [e c o v r f] [] x: do/trace [return 5 6] :cb x", "5"},
        {"cb: func [e c o v r f] [] f: func [] [x: do/trace [return 1] :cb x + 1] f", "2"},
        {"cb: func [e c o v r f] [] try [do/trace [1 / 0] :cb]", "error! math/zero-divide"},
    });
    EXPECT_FALSE(interp::user_tracing());
    EXPECT_FALSE(interp::tracing());
    // The events arrive as words, in order; a block leading the callback's
    // body selects them.
    Cell r = run("out: copy [] cb: func [e c o v r f] [[init end] append out e] do/trace [1] :cb out");
    EXPECT_EQ(molded(r), "[init end]");
}

TEST_F(ControlNatives, TryCatchAndThrow) {
    expect_cases({
        {"try [1 + 1]", "2"},
        {"try [1 / 0]", "error! math/zero-divide"},
        {"try/all [1 / 0]", "error! math/zero-divide"},
        {"try []", "unset"},
        {"catch [1 + 1]", "2"},
        {"catch [throw 5 6]", "5"},
        {"catch [throw/name 1 'a]", "1"},
        {"catch/name [throw/name 1 'a] 'a", "1"},
        {"catch/name [throw/name 1 'A] 'a", "1"},
        {"catch/name [throw/name 1 'a] [b a]", "1"},
        {"catch [catch/name [throw/name 1 'a] 'b]", "1"},
        {"catch [catch/name [throw/name 1 'a] 'b 2]", "1"},
        {"catch/name [catch/name [throw/name 1 'a] 'b] 'a", "1"},
        {"catch/name [throw 1] 'a", "error throw/throw"},
        {"catch/name [throw/name 1 'a] [b 2]", "error script/invalid-refine-arg"},
        {"catch [loop 3 [catch [throw 1] throw 2]]", "2"},
        {"throw 1", "error throw/throw"},
        {"catch [try/all [throw 3]]", "error! throw/throw"},
        {"f: func [] [catch [return 5] 6] f", "5"},
        {"loop 3 [catch [break/return 4]]", "4"},
        {"catch [try [throw 7]]", "7"},
    });
    RaisedError e = run_error("throw 1");
    EXPECT_EQ(e.args[0].value.data2, 1u);
}

TEST_F(ControlNatives, TryAllStopsFailuresOfTheCodeUnderneath) {
    // A C++ failure inside the evaluation (memory, a library exception)
    // becomes an error at try/all instead of ending the process.
    native("fails-memory", "", [](bool, const int32_t*) -> int32_t { throw std::bad_alloc(); });
    native("fails-library", "", [](bool, const int32_t*) -> int32_t { throw std::runtime_error("broken"); });
    expect_cases({
        {"try/all [fails-memory]", "error! internal/no-memory"},
        {"try/all [fails-library]", "error! internal/limit-hit"},
        {"try/all [1 + 1 fails-memory]", "error! internal/no-memory"},
        {"try/all [fails-memory] 3", "3"},
    });
}

TEST_F(ControlNatives, Exits) {
    expect_cases({
        {"loop 3 [try [break]]", "unset"},
        {"loop 3 [try [break/return 8]]", "8"},
        {"try/all [break]", "error! throw/break"},
        {"loop 3 [try/all [break]]", "error! throw/break"},
        {"try/all [continue]", "error! throw/continue"},
        {"break", "error throw/break"},
        {"continue", "error throw/continue"},
        {"exit", "error throw/return"},
        {"return 1", "error throw/return"},
        {"f: func [] [try/all [return 1] 2] f", "2"},
        {"f: func [] [loop 3 [do [return 5]] 0] f", "5"},
        {"f: func [] [exit 1] f", "unset"},
        {"f: func [] [if true [return 3] 4] f", "3"},
        {"f: func [] [foreach x [1 2] [while [true] [return x]]] f", "1"},
        {"n: 0 loop 2 [loop 5 [n: n + 1 break] n: n + 10] n", "22"},
        {"f: func [] [try [exit] 3] f", "unset"},
    });
    EXPECT_TRUE(stack::frames_empty());
}

TEST_F(ControlNatives, ErrorsPassThroughLoops) {
    expect_cases({
        {"try [loop 3 [1 / 0]]", "error! math/zero-divide"},
        {"try [foreach x [1 2] [x / 0]]", "error! math/zero-divide"},
        {"n: 0 try [while [true] [n: n + 1 if n = 3 [1 / 0]]] n", "3"},
    });
    EXPECT_TRUE(stack::frames_empty());
}

TEST_F(ControlNatives, Reduce) {
    expect_cases({
        {"reduce [1 + 2 3 * 4]", "[3 12]"},
        {"reduce []", "[]"},
        {"a: 5 reduce [a 'a]", "[5 a]"},
        {"reduce pick [(1 + 1 2 + 2)] 1", "(2 4)"},
        {"reduce 7", "7"},
        {"a: 3 reduce 'a", "3"},
        {"b: reduce [\n1\n2] b", "[1 2]"},
        {"out: [x y] reduce/into [1 + 1 2 + 2] next out", "[y]"},
        {"out: [x y] reduce/into [1 + 1 2 + 2] next out out", "[x 2 4 y]"},
        {"out: [x] reduce/into 5 out out", "[5 x]"},
        {"reduce [()]", "[unset]"},
    });
    Cell r = run("reduce :append");
    EXPECT_EQ(type_of(&r), TYPE_ACTION);
}

TEST_F(ControlNatives, Compose) {
    expect_cases({
        {"compose [1 (1 + 1) 3]", "[1 2 3]"},
        {"compose [a ([b c]) d]", "[a b c d]"},
        {"compose/only [a ([b c]) d]", "[a [b c] d]"},
        {"compose [a (()) b]", "[a b]"},
        {"compose [a [(1 + 1)] b]", "[a [(1 + 1)] b]"},
        {"compose/deep [a [(1 + 1) [(2 + 2)]] b]", "[a [2 [4]] b]"},
        {"compose/deep [[([x y])]]", "[[x y]]"},
        {"compose/deep/only [[([x y])]]", "[[[x y]]]"},
        {"compose [(reduce ['a 1])]", "[a 1]"},
        {"out: [z] compose/into [(1) (2)] out", "[z]"},
        {"out: [z] compose/into [(1) (2)] out out", "[1 2 z]"},
        {"b: [1 (2)] compose next b", "[2]"},
    });
}

// Nesting that would run a recursive walk off the machine stack ends in a
// catalog error instead; so does a block that contains itself.
TEST_F(ControlNatives, DeepNestingIsBounded) {
    std::string deep = "compose/deep " + std::string(3000, '[') + "(1)" + std::string(3000, ']');
    EXPECT_EQ(run_mold(deep), "error internal/too-deep");
    EXPECT_EQ(run_mold("b: [1 (2)] append/only b b compose/deep b"), "error internal/no-cycle");
    std::string chain;
    for (int i = 0; i < 5000; i++) chain += "reduce [";
    chain += "1" + std::string(5000, ']');
    EXPECT_EQ(run_mold(chain), "error internal/stack-overflow");
    EXPECT_TRUE(stack::frames_empty());
    EXPECT_EQ(run_mold("compose/deep [[[(1 + 1)]]]"), "[[[2]]]");
}

// Called with check? set (compiled callers), natives check their arguments
// against their spec and ignore the argument cells of unused refinements.
TEST_F(ControlNatives, CheckedCalls) {
    auto call = [&](int32_t (*entry)(bool, const int32_t*), std::initializer_list<Cell> arguments,
                    std::initializer_list<int32_t> refinements) -> std::string {
        stack::Checkpoint cp = stack::checkpoint();
        stack::mark_native(word::make_from_c_string("checked"));
        for (const Cell& c : arguments) stack::push(&c);
        int32_t refs[8];
        int k = 0;
        for (int32_t r : refinements) refs[k++] = r;
        std::string out;
        try {
            entry(true, refs);
            out = molded(*stack::arguments_base());
        } catch (const Thrown& t) {
            out = t.code == THROW_ERROR ? "error " + last_raised_error().id : "throw";
        }
        stack::restore(cp);
        return out;
    };
    Cell blk = test::load_source("1 + 1");
    gc::CellRoot keep(&blk);
    Cell none{TYPE_NONE, 0, 0, 0}, two = integer::make(2), word = test::global_word("x");
    EXPECT_EQ(call(natives::if_star, {two, blk}, {}), "2");
    EXPECT_EQ(call(natives::if_star, {two, two}, {}), "error expect-arg");
    EXPECT_EQ(call(natives::loop_star, {none, blk}, {}), "error expect-arg");
    EXPECT_EQ(call(natives::loop_star, {two, blk}, {}), "2");
    // An unused /default: its cell holds a non-block that must not be read.
    EXPECT_EQ(call(natives::switch_star, {two, blk, two}, {-1}), "none");
    EXPECT_EQ(call(natives::switch_star, {two, blk, two}, {2}), "error expect-arg");
    EXPECT_EQ(call(natives::repeat_star, {word, two, blk}, {}), "2");
    EXPECT_EQ(call(natives::repeat_star, {two, two, blk}, {}), "error expect-arg");
    RaisedError e = last_raised_error();
    EXPECT_EQ(arg_spelling(e, 0), "checked");
    EXPECT_EQ(arg_spelling(e, 2), "word");
}

// Compiled code's own try hands over the error it caught: kept as the
// result, except a throw that found no catch, which is raised again.
TEST_F(ControlNatives, CompiledTryCompanion) {
    auto caught = [&](const char* code) -> std::string {
        Cell error = run(code);
        gc::CellRoot keep(&error);
        stack::Checkpoint cp = stack::checkpoint();
        stack::mark_native(nullptr);
        stack::push(&error);
        std::string out;
        try {
            natives::try_caught(false);
            out = molded(Cell{TYPE_DATATYPE, type_of(stack::arguments_base()), 0, 0});
            EXPECT_EQ(stack::arguments_top(), stack::arguments_base() + 1);
        } catch (const Thrown& t) {
            out = "raised " + last_raised_error().id;
        }
        stack::restore(cp);
        return out;
    };
    EXPECT_EQ(caught("try [1 / 0]"), "error!");
    EXPECT_EQ(caught("try [throw 1]"), "raised throw");
}

}  // namespace
}  // namespace qor
