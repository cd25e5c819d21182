// Deep recursion on a thread whose machine stack is large: the interpreter's
// own limits end it with internal/stack-overflow before the machine stack
// runs out.
#include <pthread.h>

#include <fstream>
#include <string>

#include "datatypes/error_report.hpp"
#include "runtime_fixture.hpp"

namespace qor {
namespace {

using namespace test;

class DeepEvaluation : public RuntimeFixture {};

// Under qemu's user-mode emulator (registered for 32-bit x86 where the kernel
// runs none itself) a 512 MB thread stack lies outside the sanitizer's map.
bool running_under_emulation() {
    std::ifstream entry("/proc/sys/fs/binfmt_misc/qemu-i386");
    std::string state;
    return entry >> state && state == "enabled";
}

// Runs the code on a thread with a machine stack of `megabytes`: the frames
// and cells in use when it raised, and whether that was stack-overflow.
struct DeepRun {
    const char* code;
    bool reference = false;
    uint32_t frames_at_overflow = 0;
    uint32_t cells_at_overflow = 0;
    bool raised = false;
};

void run_deep(DeepRun* run, size_t megabytes) {
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, megabytes << 20);
    pthread_t thread;
    void* saved_base = gc::stack_base();
    auto body = [](void* p) -> void* {
        DeepRun* run = static_cast<DeepRun*>(p);
        char top;
        gc::set_stack_base(&top + 64);
        interp::refresh_machine_stack_limit();
        interp::set_reference_eval(run->reference);
        uint32_t highest = 0, cells = 0;
        Cell code = load_source(run->code);
        gc::CellRoot keep(&code);
        stack::Checkpoint cp = stack::checkpoint();
        try {
            interp::eval_block(&code, false);
        } catch (const Thrown&) {
            highest = uint32_t(stack::frames_top() - stack::frames_bottom());
            cells = stack::depth();
            run->raised = last_raised_error().id == "stack-overflow";
        }
        interp::set_reference_eval(false);
        run->frames_at_overflow = highest;
        run->cells_at_overflow = cells;
        stack::restore(cp);
        return nullptr;
    };
    ASSERT_EQ(pthread_create(&thread, &attr, body, run), 0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attr);
    gc::set_stack_base(saved_base);
    interp::refresh_machine_stack_limit();
}

// On a thread with a large machine stack the interpreter's own limits are
// met first: the frame stack fills before the machine stack runs out.
TEST_F(DeepEvaluation, OnALargeMachineStackTheInterpretersLimitsComeFirst) {
    if (running_under_emulation()) GTEST_SKIP() << "no 512 MB thread stack under emulation";
    define("forever", "n", "forever n + 1");
    DeepRun run{"forever 1"};
    run_deep(&run, 512);
    EXPECT_TRUE(run.raised);
    // One of the stacks stood at its limit when the error was raised.
    EXPECT_TRUE(run.frames_at_overflow >= stack::FRAME_CAPACITY - 2 ||
                run.cells_at_overflow >= stack::ARGUMENT_CELLS - 10)
        << run.frames_at_overflow << " frames, " << run.cells_at_overflow << " cells";
}

// The loop and the recursive path stop at the same frame when the frame
// stack fills: recursion through bodies, branches, case, parens and operators.
TEST_F(DeepEvaluation, BothPathsOverflowAtTheSameDepth) {
    define("up", "n", "if true [(either n < 0 [0] [case [true [1 + up n + 1]]])]");
    define("forever", "n", "forever n + 1");
    for (const char* code : {"up 1", "forever 1"}) {
        DeepRun fast{code}, reference{code, true};
        run_deep(&fast, 96);
        run_deep(&reference, 96);
        EXPECT_TRUE(fast.raised && reference.raised) << code;
        EXPECT_GE(fast.frames_at_overflow, stack::FRAME_CAPACITY - 2) << code;
        EXPECT_EQ(fast.frames_at_overflow, reference.frames_at_overflow) << code;
        EXPECT_EQ(fast.cells_at_overflow, reference.cells_at_overflow) << code;
    }
}

// An error that nothing catches is formed, reported on standard error (a
// pipe here) and ends the process with status -2.
TEST_F(DeepEvaluation, AnUncaughtErrorIsReportedAndEndsTheProcess) {
    EXPECT_EXIT(
        {
            Cell code = load_source("1 + unknown-here");
            gc::CellRoot keep(&code);
            try {
                interp::eval_block(&code, false);
            } catch (const Thrown&) {
                error::report_uncaught(errors::last_raised());
            }
        },
        testing::ExitedWithCode(254), "unknown-here has no value");
}

}  // namespace
}  // namespace qor
