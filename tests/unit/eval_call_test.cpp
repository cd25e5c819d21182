// Calling functions, natives, actions, ops and routines: argument kinds,
// refinements in any order, type checks, locals on the argument stack.
#include "runtime_fixture.hpp"

namespace qor {
namespace {

using namespace test;

class Calls : public RuntimeFixture {};

// A native that records the cells of its call: the values from the base to
// the top, and the refinement slots it was given.
std::vector<Cell> g_seen;
std::vector<int32_t> g_refs;
void mark_seen() {
    if (!g_seen.empty()) gc::mark_cells(g_seen.data(), g_seen.data() + g_seen.size());
}
int32_t recorder(bool check, const int32_t* refs) {
    EXPECT_FALSE(check);
    g_seen.assign(stack::arguments_base(), stack::arguments_top());
    g_refs.assign(refs, refs + 3);
    stack::set_last_keep(Cell{TYPE_NONE, 0, 0, 0});
    return 0;
}

TEST_F(Calls, FunctionLocalsLieOnTheArgumentStack) {
    // The body sees its frame: the argument, false for /local, none per local.
    define("probe", "a /local b c", "reduce-frame");
    native("reduce-frame", "", [](bool, const int32_t*) -> int32_t {
        CallFrame* f = stack::top_frame() - 2;   // below the native's and the body's eval frame
        while (frame_kind(f) != FRAME_FUNCTION) f--;
        Cell* args = stack::base_inside(f);
        g_seen.assign(args, args + 4);
        stack::set_last_keep(Cell{TYPE_NONE, 0, 0, 0});
        return 0;
    });
    gc::push_root(mark_seen);
    eval("probe 7");
    gc::remove_root(mark_seen);
    ASSERT_EQ(g_seen.size(), 4u);
    EXPECT_EQ(g_seen[0].data2, 7u);
    EXPECT_EQ(type_of(&g_seen[1]), TYPE_LOGIC);
    EXPECT_EQ(g_seen[1].data1, 0u);
    EXPECT_EQ(type_of(&g_seen[2]), TYPE_NONE);
    EXPECT_EQ(type_of(&g_seen[3]), TYPE_NONE);
}

TEST_F(Calls, FunctionsWithRefinementsInAnyOrder) {
    define("f", "a /x xa /y ya", "reduce-args");
    define("g", "a /x xa /y ya /local l", "l: 100 if x [l: l + xa] if y [l: l + ya] l + a");
    EXPECT_EQ(eval_int("g 1"), 101);
    EXPECT_EQ(eval_int("g/x 1 10"), 111);
    EXPECT_EQ(eval_int("g/y 1 20"), 121);
    EXPECT_EQ(eval_int("g/y/x 1 20 10"), 131);   // arguments follow the path's order
    EXPECT_EQ(eval_int("g/x/y 1 10 20"), 131);
    // A get-word names the refinement; its value decides whether it is used.
    EXPECT_EQ(eval_int("x: false g/:x 1 10"), 101);   // not used, argument still fetched
    EXPECT_EQ(eval_int("x: true g/:x 1 10"), 111);
}

TEST_F(Calls, NativeRefinementSlots) {
    native("rec", "a /x xa /y /z za zb", recorder);
    gc::push_root(mark_seen);
    struct Case {
        const char* code;
        std::vector<int32_t> refs;
        std::vector<int32_t> values;
    } cases[] = {
        {"rec 1", {-1, -1, -1}, {1}},
        {"rec/x 1 2", {1, -1, -1}, {1, 2}},
        {"rec/z/x 1 3 4 2", {3, -1, 1}, {1, 3, 4, 2}},   // arguments in the order given
        {"rec/y 1", {-1, 1, -1}, {1}},
    };
    for (const Case& c : cases) {
        eval(c.code);
        EXPECT_EQ(g_refs, c.refs) << c.code;
        std::vector<int32_t> values;
        for (const Cell& v : g_seen) values.push_back(int32_t(v.data2));
        EXPECT_EQ(values, c.values) << c.code;
    }
    gc::remove_root(mark_seen);
}

TEST_F(Calls, RefinementErrors) {
    define("f", "a /x xa", "a");
    struct Case {
        const char* code;
        const char* id;
    } cases[] = {
        {"append/only/only [] 1", "dup-refine"},
        {"f/x/x 1 2 3", "dup-refine"},
        {"append/foo [] 1", "no-refine"},
        {"f/a 1", "no-refine"},     // an argument is not a refinement
        {"f/1 1", "bad-refine"},
    };
    for (const Case& c : cases) EXPECT_EQ(eval_error(c.code).id, c.id) << c.code;
    RaisedError e = eval_error("append/foo [] 1");
    EXPECT_EQ(arg_spelling(e, 0), "append");
    EXPECT_EQ(arg_spelling(e, 1), "foo");
    e = eval_error("f/x/x 1 2 3");
    EXPECT_EQ(type_of(&e.args[0].value), TYPE_PATH);
}

TEST_F(Calls, ArgumentKinds) {
    define("lit", "'w", "w");
    define("get", ":w", "w");
    define("opt", "a 'b [any-type!]", ":b");
    eval("x: 5");
    Cell r = eval("lit x");
    EXPECT_EQ(type_of(&r), TYPE_WORD);
    EXPECT_EQ(eval_int("lit (2 + 3)"), 5);        // a paren is evaluated
    EXPECT_EQ(eval_int("lit :x"), 5);             // a get-word gives its value
    r = eval("get (1 + 1)");
    EXPECT_EQ(type_of(&r), TYPE_PAREN);           // taken as it stands
    r = eval("opt 1");
    EXPECT_EQ(type_of(&r), TYPE_UNSET);           // optional last argument
    EXPECT_EQ(eval_error("lit").id, "no-arg");
}

TEST_F(Calls, ArgumentsAndOperators) {
    define("f", "a", "a * 10");
    EXPECT_EQ(eval_int("f 1 + 2"), 30);     // the argument is the whole expression
    EXPECT_EQ(eval_int("1 + f 2"), 21);     // the right operand is a call
    EXPECT_EQ(eval_int("f 2 + 1"), 30);
    define("typed", "a [integer!]", "a");
    RaisedError e = eval_error("typed \"s\"");
    EXPECT_EQ(e.id, "expect-arg");
    EXPECT_EQ(arg_spelling(e, 0), "typed");
    EXPECT_EQ(e.args[1].value.data1, uint32_t(TYPE_STRING));
    EXPECT_EQ(arg_spelling(e, 2), "a");
}

TEST_F(Calls, RecursionRestoresEachCallersLocals) {
    define("fact", "n", "either-1 n");
    define("either-1", "n", "if n < 2 [return 1] n * fact n - 1");
    EXPECT_EQ(eval_int("fact 10"), 3628800);
    define("fib", "n", "if n < 2 [return n] (fib n - 1) + fib n - 2");
    EXPECT_EQ(eval_int("fib 15"), 610);
    // After the calls, the function's context has no running call.
    Cell fib = global("fib");
    EXPECT_EQ(context::stack_values(function::context_of(&fib)), nullptr);
}

TEST_F(Calls, ReturnAndExit) {
    define("r", "a", "if a > 0 [return a * 2] 0");
    EXPECT_EQ(eval_int("r 5"), 10);
    EXPECT_EQ(eval_int("r -1"), 0);
    define("e", "", "exit 7");
    Cell v = eval("e");
    EXPECT_EQ(type_of(&v), TYPE_UNSET);
    define("in-do", "", "do [return 3] 4");   // return inside do returns from the function
    EXPECT_EQ(eval_int("in-do"), 3);
    RaisedError err = eval_error("exit");
    EXPECT_EQ(err.category, "throw");
    EXPECT_EQ(err.id, "return");
}

TEST_F(Calls, SpecArityBuildsAndCachesTheCallTable) {
    define("f", "a [integer!] 'b :c /ref d return: [integer!] /local x y", "a");
    Cell f = global("f");
    Cell table = interp::call_table(&f);
    ASSERT_EQ(block::remaining_length(&table), 7u);
    uint32_t kinds[] = {ARG_NORMAL, ARG_LIT, ARG_GET};
    for (uint32_t i = 0; i < 3; i++) {
        Cell e = *block::item(&table, i);
        EXPECT_EQ(type_of(&e), TYPE_TYPESET);
        EXPECT_EQ(e.header & ARG_KIND_MASK, kinds[i]);
    }
    Cell a = *block::item(&table, 0);
    EXPECT_TRUE(typeset_allows(&a, TYPE_INTEGER));
    EXPECT_FALSE(typeset_allows(&a, TYPE_STRING));
    Cell b = *block::item(&table, 1);
    EXPECT_FALSE(typeset_allows(&b, TYPE_UNSET));   // no types: everything but unset!
    EXPECT_TRUE(typeset_allows(&b, TYPE_STRING));
    EXPECT_EQ(type_of(block::item(&table, 3)), TYPE_REFINEMENT);
    EXPECT_EQ(block::item(&table, 5)->header & ARG_KIND_MASK, ARG_RETURN);
    Cell end = *block::item(&table, 6);
    EXPECT_EQ(type_of(&end), TYPE_INTEGER);
    EXPECT_EQ(end.data2, 3u);   // /local and its two words
    Cell again = interp::call_table(&f);
    EXPECT_EQ(again.data2, table.data2);   // cached
    Cell app = global("append");
    Cell native_table = interp::call_table(&app);
    Cell last = *block::item(&native_table, block::remaining_length(&native_table) - 1);
    EXPECT_EQ(last.data2, 3u);   // three refinements
    EXPECT_EQ(block::item(&native_table, 2)->data3, 1u);   // /part is refinement 1
}

TEST_F(Calls, OpsMadeFromFunctions) {
    define("avg", "a b", "(a + b) / 2");
    Cell fn = global("avg");
    fn.header = TYPE_OP | (TYPE_FUNCTION << 16);
    context::set_global_value(symbol::intern("~"), &fn);
    EXPECT_EQ(eval_int("2 ~ 4 + 1"), 4);    // (2 ~ 4) + 1
    EXPECT_EQ(eval_int("10 - 2 ~ 4"), 6);
}

// Routines: C++ entries that receive marshalled arguments.
RoutineReturn add_routine(const RoutineArg* args) {
    return RoutineReturn{args[0].integer + int32_t(args[1].cell->data2), 0.0};
}
Cell g_raw_result;
Cell* raw_routine(Cell* const* args) {
    g_raw_result = *args[1];
    return &g_raw_result;
}

TEST_F(Calls, Routines) {
    Cell spec = load_source("a [integer!] b [any-type!]"), body{TYPE_NONE, 0, 0, 0};
    gc::CellRoot keep(&spec);
    Cell r = *routine::push_new(&spec, &body, TYPE_INTEGER, reinterpret_cast<uintptr_t>(add_routine), 0);
    stack::pop(1);
    context::set_global_value(symbol::intern("radd"), &r);
    EXPECT_EQ(eval_int("radd 2 40"), 42);
    RaisedError e = eval_error("radd \"x\" 1");
    EXPECT_EQ(e.id, "expect-arg");
    Cell raw_spec = load_source("a b");
    gc::CellRoot keep_raw(&raw_spec);
    Cell raw = *routine::push_new(&raw_spec, &body, -1, reinterpret_cast<uintptr_t>(raw_routine), 1);
    stack::pop(1);
    context::set_global_value(symbol::intern("second"), &raw);
    EXPECT_EQ(eval_int("second 1 2"), 2);
}

TEST_F(Calls, CallingFunctionValuesFromCpp) {
    define("sub", "a b /x", "if x [return 0] a - b");
    Cell fn = global("sub");
    Cell args[2] = {integer::make(10), integer::make(3)}, result{};
    gc::CellRoot keep(args, 2);
    interp::call_function(&fn, args, 2, &result);
    EXPECT_EQ(result.data2, 7u);
    Cell add = global("add");
    interp::call_function(&add, args, 2, &result);
    EXPECT_EQ(result.data2, 13u);
    Cell plus = global("+");
    interp::call_function(&plus, args, 2, &result);
    EXPECT_EQ(result.data2, 13u);
    EXPECT_TRUE(stack::frames_empty());
    // A comparator through sort's function calls.
    define("desc", "a b", "a > b");
    Cell r = eval("sort/compare [3 1 2] :desc");
    EXPECT_EQ(molded(r), "[3 2 1]");
}

}  // namespace
}  // namespace qor
