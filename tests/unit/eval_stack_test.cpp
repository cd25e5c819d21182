// The argument and call-frame stacks: pushes and pops, frames and their
// pops, overflow, and the frame walks of error reports.
#include "runtime_fixture.hpp"

namespace qor {
namespace {

using namespace test;

class Stacks : public RuntimeFixture {};

TEST_F(Stacks, PushesAndPops) {
    Cell* bottom = stack::bottom();
    EXPECT_EQ(stack::top_value(), bottom);   // empty: the bottom cell
    Cell one = integer::make(1), two = integer::make(2);
    stack::push(&one);
    stack::push(&two);
    stack::pop_into_previous();
    EXPECT_EQ(stack::depth(), 1u);
    EXPECT_EQ(stack::top_value()->data2, 2u);
    stack::pop(100);   // more than it holds: stays at the bottom
    EXPECT_EQ(stack::arguments_top(), bottom);
    stack::push(&one);
    stack::push(&two);
    stack::keep();
    EXPECT_EQ(stack::depth(), 1u);
    stack::set_last_keep(&two);
    EXPECT_EQ(stack::arguments_base()->data2, 2u);
    Cell err{TYPE_ERROR, 0, 0, 0};
    stack::push(&err);
    stack::keep_last();   // an error! on top becomes the result
    EXPECT_EQ(stack::top_type(), uint32_t(TYPE_ERROR));
    EXPECT_EQ(stack::depth(), 1u);
}

TEST_F(Stacks, OverflowOfEitherStackRaisesAndBacksOff) {
    Cell v = integer::make(0);
    Cell* last = nullptr;
    RaisedError e = test::raised_by([&] {
        for (;;) last = stack::push(&v);
    });
    EXPECT_EQ(e.category, "internal");
    EXPECT_EQ(e.id, "stack-overflow");
    // 19,999 values fit; the failed push left the top five cells lower.
    EXPECT_EQ(last, stack::bottom() + stack::ARGUMENT_CELLS - 2);
    EXPECT_EQ(stack::depth(), stack::ARGUMENT_CELLS - stack::OVERFLOW_BACKOFF);
    stack::init();

    uint32_t frames = 0;
    e = test::raised_by([&] {
        for (;;) {
            stack::mark_native(nullptr);
            frames++;
        }
    });
    EXPECT_EQ(e.id, "stack-overflow");
    EXPECT_EQ(frames, stack::FRAME_CAPACITY);
    stack::init();
    // Both stacks work again afterwards.
    EXPECT_EQ(eval_int("1 + 1"), 2);
}

TEST_F(Stacks, FramePops) {
    Cell one = integer::make(1), two = integer::make(2), three = integer::make(3);
    struct Case {
        void (*pop)();
        uint32_t depth;     // cells left above the outer base
        uint32_t result;    // the outer base's value
    } cases[] = {
        {stack::unwind, 1, 1},             // top = the inner base
        {stack::unwind_keep, 2, 1},        // the inner result stays pushed
        {stack::unwind_last, 1, 2},        // the inner result becomes the outer one
        {stack::unwind_func_last, 1, 2},
        {stack::unwind_reset, 0, 1},       // top = the outer base
        {stack::unwind_drop, 2, 1},        // one cell fewer
    };
    for (const Case& c : cases) {
        stack::init();
        stack::mark_native(nullptr);   // the popped frame is not the bottom one
        Cell* outer = stack::arguments_base();
        stack::push(&one);
        stack::mark_native(nullptr);
        stack::push(&two);
        stack::push(&three);
        c.pop();
        EXPECT_EQ(stack::arguments_base(), outer);
        EXPECT_EQ(stack::depth(), c.depth);
        EXPECT_EQ(outer->data2, c.result);
        EXPECT_EQ(stack::frames_top(), stack::frames_bottom() + 1);
    }
    // Popping the bottom frame puts the base back at the bottom.
    stack::init();
    stack::push(&one);
    stack::mark_native(nullptr);
    stack::push(&two);
    stack::unwind();
    EXPECT_EQ(stack::arguments_base(), stack::bottom());
    EXPECT_EQ(stack::depth(), 0u);
}

TEST_F(Stacks, FunctionFramesRestoreTheirContextsValues) {
    define("f", "a", "a");
    Cell f = global("f");
    Node ctx = function::context_of(&f);
    Cell outer_value = integer::make(1);
    stack::mark_func(nullptr, ctx);
    stack::push(&outer_value);
    stack::attach_function_context(ctx, stack::arguments_base());
    Cell* outer_args = context::stack_values(ctx);
    stack::mark_func(nullptr, ctx);
    stack::push(&outer_value);
    stack::attach_function_context(ctx, stack::arguments_base());
    EXPECT_NE(context::stack_values(ctx), outer_args);
    stack::unwind_func();
    EXPECT_EQ(context::stack_values(ctx), outer_args);
    // A stopper's restore pops with the same restoring.
    stack::Checkpoint cp = stack::checkpoint();
    stack::mark_func(nullptr, ctx);
    stack::attach_function_context(ctx, stack::arguments_top());
    stack::mark_native(nullptr);
    stack::restore(cp);
    EXPECT_EQ(context::stack_values(ctx), outer_args);
    stack::unwind_func();
    EXPECT_EQ(context::stack_values(ctx), nullptr);
}

TEST_F(Stacks, UnwindToAKind) {
    Cell one = integer::make(1);
    stack::mark_loop(nullptr);
    Cell* inside = stack::arguments_base();
    stack::push(&one);
    stack::mark_native(nullptr);
    stack::mark_eval(nullptr);
    stack::push(&one);
    CallFrame* loop = stack::unwind_to(FRAME_LOOP, true);
    EXPECT_EQ(frame_kind(loop), uint32_t(FRAME_LOOP));
    EXPECT_EQ(stack::top_frame(), loop);
    EXPECT_EQ(stack::arguments_base(), inside);
    EXPECT_EQ(stack::arguments_top(), inside + 1);
    // A try/all stops the search.
    stack::init();
    stack::mark_loop(nullptr);
    stack::mark_try_all(nullptr);
    stack::mark_native(nullptr);
    EXPECT_EQ(frame_kind(stack::unwind_to(FRAME_LOOP, false)), uint32_t(FRAME_TRY_ALL));
}

TEST_F(Stacks, FrameFlags) {
    stack::mark_native(nullptr);
    stack::mark_native(nullptr);
    EXPECT_FALSE(stack::in_interp(nullptr, false));
    stack::set_interp_flag();
    EXPECT_TRUE(stack::in_interp(nullptr, true));
    CallFrame* claimed = stack::claim_parent_body();
    ASSERT_NE(claimed, nullptr);
    EXPECT_TRUE(claimed->header & FRAME_BODY);
    EXPECT_EQ(stack::claim_parent_body(), nullptr);   // already set
    stack::clear_body_flag(claimed);
    EXPECT_FALSE(claimed->header & FRAME_BODY);
    Cell w = *word::make_from_c_string("renamed");
    stack::rename_frame(&w);
    EXPECT_EQ(frame_symbol(stack::top_frame()), word::symbol_of(&w));
}

TEST_F(Stacks, CurrentCallSkipsUnnamedFrames) {
    Cell none_left = stack::current_call();
    EXPECT_EQ(test::spelling_of(int32_t(none_left.data2)), "<not-found>");
    Cell w = *word::make_from_c_string("outer");
    stack::mark_native(&w);
    stack::mark_eval(words::word(words::W_BODY));
    stack::mark_native(words::word(words::W_ANON));
    Cell call = stack::current_call();
    EXPECT_EQ(test::spelling_of(int32_t(call.data2)), "outer");
}

TEST_F(Stacks, ReportsListTheCalls) {
    define("inner", "", "collect-here");
    define("outer", "", "inner");
    native("collect-here", "", [](bool, const int32_t*) -> int32_t {
        Cell trace = block::make(8);
        gc::CellRoot keep(&trace);
        stack::collect_trace(&trace);
        stack::set_last_keep(&trace);
        return 0;
    });
    Cell r = eval("outer");
    std::vector<std::string> names;
    for (uint32_t i = 0; i < block::remaining_length(&r); i += 2) {
        Cell w = *block::item(&r, i);
        names.push_back(test::spelling_of(int32_t(w.data2)));
        EXPECT_EQ(type_of(block::item(&r, i + 1)), TYPE_INTEGER);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"collect-here", "inner", "outer"}));

    define("fails", "", "nothing-here");
    define("calls-fails", "", "fails");
    Cell err = eval("try [calls-fails]");
    int32_t frames = int32_t(error::field(&err, ERR_STACK)->data2);
    Cell out = string::make(32);
    gc::CellRoot keep_out(&out);
    // The frames are gone after the try; list what stands now: nothing.
    EXPECT_EQ(stack::list_calls(1, &out, frames, 100), 100);
    // While they stand, calls are listed innermost first, at most as many
    // as the level says (level 1: function calls only), blank-separated.
    static int32_t level = 1;
    native("list-here", "", [](bool, const int32_t*) -> int32_t {
        Cell s = string::make(32);
        gc::CellRoot keep(&s);
        stack::list_calls(level, &s, int32_t(stack::frames_top() - stack::frames_bottom()), 100);
        stack::set_last_keep(&s);
        return 0;
    });
    define("lister", "", "list-here");
    define("calls-lister", "", "lister");
    const std::pair<int32_t, const char*> listings[] = {
        {1, "lister"}, {2, "list-here lister"}, {3, "list-here lister calls-lister"},
        {9, "list-here lister calls-lister"}};
    for (const auto& [n, text] : listings) {
        level = n;
        r = eval("calls-lister");
        EXPECT_EQ(string::to_utf8(&r), text) << "level " << n;
    }
    Cell blk = block::make(4);
    gc::CellRoot keep_blk(&blk);
    stack::mark_native(words::word(words::W_ANON));
    stack::print_calls(2, &blk, 1);
    EXPECT_EQ(block::remaining_length(&blk), 0u);
    stack::unwind();
}

TEST_F(Stacks, ACompiledCallIsListedOnce) {
    // A compiled function runs its body in a frame of its own above the
    // function frame; reports name the call once.  A call that compiled
    // code makes itself (no interpreted frame) is the library's own and
    // is not named.
    define("compiled", "", "1");
    define("direct", "", "1");
    Cell run = *word::make_from_c_string("compiled");
    Cell direct = *word::make_from_c_string("direct");
    stack::mark_eval(words::word(words::W_BODY));
    stack::mark_interp_func(&run, nullptr);
    stack::mark_compiled_func(&run, nullptr);
    stack::mark_compiled_func(&direct, nullptr);
    int32_t frames = int32_t(stack::frames_top() - stack::frames_bottom());
    Cell out = string::make(32);
    gc::CellRoot keep_out(&out);
    stack::list_calls(3, &out, frames, 100);
    EXPECT_EQ(string::to_utf8(&out), "compiled");
    Cell blk = block::make(4);
    gc::CellRoot keep_blk(&blk);
    stack::print_calls(1, &blk, frames);
    ASSERT_EQ(block::remaining_length(&blk), 1u);
    EXPECT_EQ(test::spelling_of(int32_t(block::item(&blk, 0)->data2)), "compiled");
    Cell trace = block::make(8);
    gc::CellRoot keep_trace(&trace);
    stack::collect_trace(&trace);
    std::vector<std::string> names;
    for (uint32_t i = 0; i < block::remaining_length(&trace); i += 2)
        names.push_back(test::spelling_of(int32_t(block::item(&trace, i)->data2)));
    EXPECT_EQ(names, (std::vector<std::string>{"direct", "compiled"}));
    for (int i = 0; i < 4; i++) stack::unwind();
}

TEST_F(Stacks, ValuesHeldOnlyByTheStacksSurviveCollection) {
    for (int i = 0; i < 20; i++) {
        Cell b = test::ints({i, i + 1});
        stack::push(&b);
        Cell s = string::from_utf8("kept");
        stack::push(&s);
    }
    gc::collect();
    for (int i = 0; i < 20; i++) {
        Cell* b = stack::bottom() + 2 * i;
        ASSERT_EQ(type_of(b), TYPE_BLOCK);
        EXPECT_EQ(block::item(b, 1)->data2, uint32_t(i + 1));
        EXPECT_EQ(string::to_utf8(b + 1), "kept");
    }
}

}  // namespace
}  // namespace qor
