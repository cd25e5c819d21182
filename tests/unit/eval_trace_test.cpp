// Tracing hooks: the events a callback receives, its mask, and code that
// fires none (no-trace functions, compiled code).
#include "runtime_fixture.hpp"

namespace qor {
namespace {

using namespace test;

// trace-do callback block: runs the block with the callback installed as
// the tracer, and removes it on every way out.
int32_t trace_do(bool, const int32_t*) {
    Cell callback = stack::arguments_base()[0], block = stack::arguments_base()[1];
    gc::CellRoot kc(&callback), kb(&block);
    bool installed = interp::trace_install(&callback);
    struct Remove {
        bool on;
        ~Remove() {
            if (on && interp::user_tracing()) {
                interp::set_user_tracing(false);
                interp::set_tracing(false);
            }
        }
    } remove{installed};
    interp::eval_block(&block, true);
    if (installed) {
        remove.on = false;
        interp::trace_remove();
    }
    return 0;
}

class Tracing : public RuntimeFixture {
protected:
    void SetUp() override {
        RuntimeFixture::SetUp();
        native("trace-do", "callback block [block!]", trace_do);
        eval("events: []");
    }
    // The events recorded, as their spellings.
    std::vector<std::string> events() {
        Cell b = global("events");
        std::vector<std::string> out;
        for (uint32_t i = 0; i < block::remaining_length(&b); i++) {
            Cell w = *block::item(&b, i);
            out.push_back(is_word_kind(type_of(&w)) ? test::spelling_of(int32_t(w.data2)) : "?");
        }
        return out;
    }
};

TEST_F(Tracing, TheMaskChoosesTheEvents) {
    eval("cb: func [event code offset value ref frame] [[call return] append events event]");
    eval("trace-do :cb [add 1 2]");
    EXPECT_EQ(events(), (std::vector<std::string>{"call", "return"}));

    eval("events: [] quiet: func [event code offset value ref frame] [[] append events event]");
    eval("trace-do :quiet [add 1 2]");
    EXPECT_TRUE(events().empty());

    eval("events: [] all-of-them: func [event code offset value ref frame] [append events event]");
    eval("trace-do :all-of-them [x: add 1 2]");
    std::vector<std::string> seen = events();
    for (const char* e : {"init", "enter", "fetch", "open", "call", "return", "push", "set", "expr", "exit", "end"})
        EXPECT_NE(std::find(seen.begin(), seen.end(), e), seen.end()) << e;
    EXPECT_EQ(seen.front(), "init");
    EXPECT_EQ(seen.back(), "end");
    EXPECT_FALSE(interp::tracing());
}

TEST_F(Tracing, TheCallbackReceivesItsArguments) {
    eval("args: [] cb: func [event code offset value ref frame] [[set] append/only args reduce-all event code offset value ref frame]");
    native("reduce-all", "a b c d e f", [](bool, const int32_t*) -> int32_t {
        Cell* base = stack::arguments_base();
        Cell blk = block::make(6);
        gc::CellRoot keep(&blk);
        for (int i = 0; i < 6; i++) block::append_copy(&blk, base + i);
        stack::set_last_keep(&blk);
        return 0;
    });
    eval("trace-do :cb [z: 5]");
    Cell args = global("args");
    ASSERT_EQ(block::remaining_length(&args), 1u);
    Cell rec = *block::item(&args, 0);
    ASSERT_EQ(block::remaining_length(&rec), 6u);
    EXPECT_EQ(test::spelling_of(int32_t(block::item(&rec, 0)->data2)), "set");
    EXPECT_EQ(type_of(block::item(&rec, 1)), TYPE_BLOCK);          // the code
    EXPECT_EQ(type_of(block::item(&rec, 2)), TYPE_INTEGER);        // the position in it
    EXPECT_EQ(block::item(&rec, 3)->data2, 5u);                    // the value
    EXPECT_EQ(type_of(block::item(&rec, 4)), TYPE_SET_WORD);       // the name
    EXPECT_EQ(type_of(block::item(&rec, 5)), TYPE_PAIR);           // base and top
}

TEST_F(Tracing, AnErrorInTheCallbackEndsTheTracedEvaluation) {
    eval("cb: func [event code offset value ref frame] [[call] nothing-here]");
    Cell r = eval("try [trace-do :cb [add 1 2] 99]");
    ASSERT_EQ(type_of(&r), TYPE_ERROR);
    EXPECT_FALSE(interp::tracing());
    EXPECT_EQ(eval_int("add 1 2"), 3);
}

TEST_F(Tracing, NestedTracingKeepsTheFirstCallback) {
    eval("first-cb: func [event code offset value ref frame] [[call] append events 'first]");
    eval("second-cb: func [event code offset value ref frame] [[call] append events 'second]");
    eval("trace-do :first-cb [trace-do :second-cb [add 1 2]]");
    std::vector<std::string> seen = events();
    ASSERT_FALSE(seen.empty());
    for (const std::string& s : seen) EXPECT_EQ(s, "first");
}

TEST_F(Tracing, NoTraceFunctionsAndCompiledCodeFireNothing) {
    eval("cb: func [event code offset value ref frame] [[fetch] append events event]");
    eval("plain: func [a] [a + 1 a + 2] quiet: func [[no-trace] a] [a + 1 a + 2]");
    eval("trace-do :cb [plain 1]");
    size_t plain = events().size();
    eval("events: [] trace-do :cb [quiet 1]");
    size_t quiet = events().size();
    EXPECT_GT(plain, quiet);
    eval("events: [] lib: func [a] [a + 1 a + 2]");
    Cell lib = global("lib");
    interp::mark_compiled(&lib);
    eval("trace-do :cb [lib 1]");
    EXPECT_EQ(events().size(), quiet);
    EXPECT_EQ(eval_int("lib 1"), 3);
}

// A compiled loop whose body is the user's block: the body is traced at
// every run, break and continue still reach the loop, and the results are
// those of an untraced run.
TEST_F(Tracing, CompiledLoopsTraceTheUsersBlocks) {
    eval("cb: func [event code offset value ref frame] [[call] append events event]");
    eval("lib-loop: func [n body] [loop n body] lib-while: func [body /local i] "
         "[i: 0 while [i < 3] [i: i + 1 do body]] lib-repeat: func [body] [repeat k 4 body]");
    for (const char* name : {"lib-loop", "lib-while", "lib-repeat"}) {
        Cell fn = global(name);
        interp::mark_compiled(&fn);
    }
    eval("n: 0 trace-do :cb [lib-loop 3 [n: n + 1 odd? n]]");
    EXPECT_EQ(eval_int("n"), 3);
    EXPECT_EQ(events().size(), 1u + 3u * 2u);   // lib-loop, then + and odd? at each run
    eval("events: [] n: 0 r: none trace-do :cb [r: lib-loop 9 [n: n + 1 if n = 2 [continue] if n = 4 [break/return 'b] n]]");
    EXPECT_EQ(eval_int("n"), 4);
    EXPECT_EQ(test::spelling_of(int32_t(global("r").data2)), "b");
    EXPECT_FALSE(events().empty());
    eval("events: [] n: 0 trace-do :cb [lib-while [n: n + 1]]");
    EXPECT_EQ(eval_int("n"), 3);
    eval("events: [] n: 0 trace-do :cb [lib-repeat [n: n + 10 if n > 20 [break]]]");
    EXPECT_EQ(eval_int("n"), 30);
    EXPECT_EQ(events().size(), 1u + 3u * 3u + 1u);   // lib-repeat, + > if at each run, break
}

TEST_F(Tracing, CompiledCodeLeavesTheNearPositionAndPushesCompiledFrames) {
    native("probe-frame", "", [](bool, const int32_t*) -> int32_t {
        bool interpreted = (stack::top_frame()->header & FRAME_INTERP) != 0;
        stack::set_last_keep(Cell{TYPE_LOGIC, interpreted ? 1u : 0u, 0, 0});
        return 0;
    });
    eval("lib: func [] [probe-frame] lib-fail: func [] [nothing-here]");
    EXPECT_EQ(eval("probe-frame").data1, 1u);
    EXPECT_EQ(eval("lib").data1, 1u);
    Cell lib = global("lib"), fail = global("lib-fail");
    interp::mark_compiled(&lib);
    interp::mark_compiled(&fail);
    EXPECT_EQ(eval("lib").data1, 0u);
    eval_error("a: 1 b: lib-fail c: 3");
    Cell near = *error::field(errors::last_raised(), ERR_NEAR);
    ASSERT_TRUE(is_any_block(type_of(&near)));
    Cell first = *block::item(&near, 0);
    EXPECT_EQ(test::spelling_of(int32_t(first.data2)), "b");   // the user's expression
    // The body frame is of the compiled kind: a return still ends it.
    eval("lib-ret: func [] [return 4 5]");
    Cell ret = global("lib-ret");
    interp::mark_compiled(&ret);
    EXPECT_EQ(eval_int("lib-ret"), 4);
}

}  // namespace
}  // namespace qor
