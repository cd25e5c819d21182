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

// On a thread with a large machine stack the interpreter's own limits are
// met first: the frame stack fills before the machine stack runs out.
struct DeepRun {
    RuntimeFixture* self;
    uint32_t frames_at_overflow = 0;
    uint32_t cells_at_overflow = 0;
    bool raised = false;
};

TEST_F(DeepEvaluation, OnALargeMachineStackTheInterpretersLimitsComeFirst) {
    if (running_under_emulation()) GTEST_SKIP() << "no 512 MB thread stack under emulation";
    define("forever", "n", "forever n + 1");
    DeepRun run{this};
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, size_t(512) << 20);
    pthread_t thread;
    void* saved_base = gc::stack_base();
    auto body = [](void* p) -> void* {
        DeepRun* run = static_cast<DeepRun*>(p);
        char top;
        gc::set_stack_base(&top + 64);
        interp::refresh_machine_stack_limit();
        uint32_t highest = 0, cells = 0;
        Cell code = load_source("forever 1");
        gc::CellRoot keep(&code);
        stack::Checkpoint cp = stack::checkpoint();
        try {
            interp::eval_block(&code, false);
        } catch (const Thrown&) {
            highest = uint32_t(stack::frames_top() - stack::frames_bottom());
            cells = stack::depth();
            run->raised = last_raised_error().id == "stack-overflow";
        }
        run->frames_at_overflow = highest;
        run->cells_at_overflow = cells;
        stack::restore(cp);
        return nullptr;
    };
    ASSERT_EQ(pthread_create(&thread, &attr, body, &run), 0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attr);
    gc::set_stack_base(saved_base);
    interp::refresh_machine_stack_limit();
    EXPECT_TRUE(run.raised);
    // One of the stacks stood at its limit when the error was raised.
    EXPECT_TRUE(run.frames_at_overflow >= stack::FRAME_CAPACITY - 2 ||
                run.cells_at_overflow >= stack::ARGUMENT_CELLS - 10)
        << run.frames_at_overflow << " frames, " << run.cells_at_overflow << " cells";
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
