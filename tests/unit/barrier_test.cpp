#include "runtime/barrier.hpp"
#include "runtime/throw.hpp"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using namespace qor;

struct Seen {
    BarrierFailure::Kind kind;
    uint32_t code;
    std::string what;
};
std::vector<Seen> seen;

void record_failure(const BarrierFailure& f) { seen.push_back({f.kind, f.code, f.what ? f.what : ""}); }

class Barrier : public testing::Test {
protected:
    void SetUp() override {
        seen.clear();
        previous = set_barrier_handler(record_failure);
    }
    void TearDown() override { set_barrier_handler(previous); }
    BarrierHandler previous = nullptr;
};

TEST_F(Barrier, PassesTheResultThrough) {
    EXPECT_EQ(barrier([] { return 41 + 1; }, -1), 42);
    int calls = 0;
    barrier([&] { ++calls; });
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(seen.empty());
}

// Every kind of failure stops at the barrier, reaches the handler once, and
// the barrier answers its failure value.
TEST_F(Barrier, StopsEveryKindOfFailure) {
    EXPECT_EQ(barrier([]() -> int { system_throw(THROW_ERROR); }, -1), -1);
    EXPECT_EQ(barrier([]() -> int { throw Thrown{THROW_RETURN}; }, -2), -2);
    EXPECT_EQ(barrier([]() -> int { throw std::runtime_error("boom"); }, -3), -3);
    EXPECT_EQ(barrier([]() -> int { throw std::bad_alloc(); }, -4), -4);
    EXPECT_EQ(barrier([]() -> int { throw 7; }, -5), -5);
    barrier([] { throw Thrown{THROW_BREAK}; });
    ASSERT_EQ(seen.size(), 6u);
    EXPECT_EQ(seen[0].kind, BarrierFailure::THROWN);
    EXPECT_EQ(seen[0].code, THROW_ERROR);
    EXPECT_EQ(seen[1].code, THROW_RETURN);
    EXPECT_EQ(seen[2].kind, BarrierFailure::STD_EXCEPTION);
    EXPECT_EQ(seen[2].what, "boom");
    EXPECT_EQ(seen[3].kind, BarrierFailure::OUT_OF_MEMORY);
    EXPECT_EQ(seen[4].kind, BarrierFailure::OTHER);
    EXPECT_EQ(seen[5].code, THROW_BREAK);
}

TEST_F(Barrier, HandlerReplacementAnswersThePreviousOne) {
    EXPECT_EQ(set_barrier_handler(nullptr), &record_failure);
    EXPECT_EQ(set_barrier_handler(record_failure), nullptr);
}

// Without a handler a failure is fatal: the runtime error report.
TEST(BarrierDeathTest, DefaultHandlingIsTheRuntimeErrorReport) {
    EXPECT_EXIT(
        {
            set_barrier_handler(nullptr);
            barrier([] { system_throw(THROW_THROW); });
        },
        testing::ExitedWithCode(95), "\\*\\*\\* Runtime Error 95: no CATCH for THROW");
    EXPECT_EXIT(
        {
            set_barrier_handler(nullptr);
            barrier([] { throw std::bad_alloc(); });
        },
        testing::ExitedWithCode(94), "Runtime Error 94: out of memory");
    EXPECT_EXIT(
        {
            set_barrier_handler(nullptr);
            barrier([] { throw std::logic_error("x"); });
        },
        testing::ExitedWithCode(99), "Runtime Error 99: unknown error");
}

void throwing_handler(const BarrierFailure&) { throw Thrown{THROW_ERROR}; }

TEST(BarrierDeathTest, AHandlerThatThrowsIsStoppedToo) {
    EXPECT_EXIT(
        {
            set_barrier_handler(throwing_handler);
            barrier([] { throw 1; });
        },
        testing::ExitedWithCode(95), "Runtime Error 95");
}

}  // namespace
