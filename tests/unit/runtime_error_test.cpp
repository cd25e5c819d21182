#include "runtime/arith.hpp"
#include "runtime/heap.hpp"
#include "runtime/runtime_error.hpp"
#include "runtime/runtime_record.hpp"
#include "runtime/throw.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <new>
#include <cstdint>

namespace {

using namespace qor;

TEST(RuntimeError, MessagesByNumber) {
    const struct {
        int number;
        const char* message;
    } cases[] = {
        {1, "access violation"},        {6, "float denormal operan"},
        {19, "stack error or overflow"}, {22, "invalid handle"},
        {23, "illegal operand"},         {32, "segmentation fault"},
        {34, "Bus error"},               {94, "out of memory"},
        {95, "no CATCH for THROW"},      {98, "assertion failed"},
        {99, "unknown error"},           {100, "no value matched in CASE"},
        {101, "no value matched in SWITCH"},
        {0, "unknown error code!"},      {35, "unknown error code!"},
        {42, "unknown error code!"},     {-1, "unknown error code!"},
        {102, "unknown error code!"},
    };
    for (const auto& c : cases) EXPECT_STREQ(runtime::error_message(c.number), c.message) << c.number;
}

TEST(RuntimeError, ReportText) {
    EXPECT_EQ(runtime::report_text(94, 0x0040ABCD), "*** Runtime Error 94: out of memory\n*** at: 0040ABCDh");
    EXPECT_EQ(runtime::report_text(42, 0xFFFFFFFF), "*** Runtime Error 42: unknown error code!\n*** at: FFFFFFFFh");
}

TEST(RuntimeError, ExceptionCodesMapToNumbers) {
    const struct {
        uint32_t code;
        int number;
    } cases[] = {
        {0xC0000005u, 1},  {0x80000002u, 2},  {0x80000003u, 3},  {0x80000004u, 4},
        {0xC000008Cu, 5},  {0xC000008Du, 6},  {0xC0000090u, 9},  {0xC0000093u, 12},
        {0xC0000094u, 13}, {0xC0000095u, 14}, {0xC0000096u, 15}, {0xC0000006u, 16},
        {0xC000001Du, 17}, {0xC0000025u, 18}, {0xC00000FDu, 19}, {0xC0000026u, 20},
        {0x80000001u, 21}, {0xC0000008u, 22}, {0xC000013Au, 0},  {0xE06D7363u, 99},
        {0xC0000097u, 99}, {0u, 99},
    };
    for (const auto& c : cases) EXPECT_EQ(runtime::exception_number(c.code), c.number) << std::hex << c.code;
}

// The report reaches standard error (a pipe or file under the test runner)
// and the process ends with the number as its status.
TEST(RuntimeErrorDeathTest, ReportsAndExitsWithTheNumber) {
    EXPECT_EXIT(runtime::error(42, 0x1234ABCD), testing::ExitedWithCode(42),
                "\\*\\*\\* Runtime Error 42: unknown error code!\r?\n\\*\\*\\* at: 1234ABCDh");
    EXPECT_EXIT(runtime::error(98, 0x10), testing::ExitedWithCode(98),
                "\\*\\*\\* Runtime Error 98: assertion failed");
}

TEST(RuntimeErrorDeathTest, NumberZeroExitsSilently) {
    EXPECT_EXIT(
        {
            std::fputs("before", stderr);
            std::fflush(stderr);
            runtime::error(0, 0x1234);
        },
        testing::ExitedWithCode(0), "^before$");
}

TEST(RuntimeErrorDeathTest, ExitFreesTheTrackedHeap) {
    EXPECT_EXIT(
        {
            heap::alloc(10);
            heap::alloc(20);
            runtime::exit();
            std::_Exit(heap::block_count() == 0 && runtime::record->heap_head == nullptr ? 7 : 1);
        },
        testing::ExitedWithCode(7), "");
}

TEST(RuntimeErrorDeathTest, UncaughtThrowIsError95) {
    EXPECT_EXIT(
        {
            if (catch_level(LEVEL_ALL, [] { system_throw(THROW_BREAK); })) runtime::uncaught_throw();
        },
        testing::ExitedWithCode(95), "\\*\\*\\* Runtime Error 95: no CATCH for THROW");
}

TEST(RuntimeErrorDeathTest, OutermostFrameEndsEveryEscape) {
    EXPECT_EQ(runtime::run_outermost([] { return 3; }), 3);
    EXPECT_EXIT(runtime::run_outermost([]() -> int { system_throw(THROW_RETURN); }),
                testing::ExitedWithCode(95), "Runtime Error 95: no CATCH for THROW");
    EXPECT_EXIT(runtime::run_outermost([]() -> int { throw std::bad_alloc(); }), testing::ExitedWithCode(94),
                "Runtime Error 94: out of memory");
}

TEST(RuntimeError, RecordFaultPosition) {
    int local = 0;
    void* frame = __builtin_frame_address(0);
    uintptr_t answer = runtime::record_fault_position(frame, &local);
    EXPECT_EQ(answer, uintptr_t(&local));
    ASSERT_NE(runtime::record->fault_position, nullptr);
    EXPECT_EQ(runtime::record->fault_position->stack, uintptr_t(frame) + 8);
    EXPECT_EQ(runtime::record->fault_position->frame, *static_cast<uintptr_t*>(frame));
}

TEST(Arith, RoundUp) {
    EXPECT_EQ(runtime::round_up(0, 16), 0u);
    EXPECT_EQ(runtime::round_up(1, 16), 16u);
    EXPECT_EQ(runtime::round_up(16, 16), 16u);
    EXPECT_EQ(runtime::round_up(17, 4096), 4096u);
    EXPECT_EQ(math::round_up_strict(16, 16), 32u);
    EXPECT_EQ(math::round_up_strict(15, 16), 16u);
    EXPECT_TRUE(cstring::is_equal("abc", "abc"));
    EXPECT_FALSE(cstring::is_equal("abc", "abcd"));
}

TEST(Arith, DegreesToRadiansReducesIntoTheFunctionsRange) {
    const double r = 3.141592653589793 / 180.0;
    const struct {
        double degrees;
        int mode;
        double reduced;
    } cases[] = {
        {450, math::TRIG_SINE, 90},       {-190, math::TRIG_COSINE, 170},
        {270, math::TRIG_TANGENT, -90},   // -90 is not beyond -90: no second reduction
        {135, math::TRIG_TANGENT, -45},   {-135, math::TRIG_TANGENT, 45},
        {135, math::TRIG_SINE, 45},       {-100, math::TRIG_SINE, -80},
        {720, math::TRIG_COSINE, 0},      {-540, math::TRIG_COSINE, -180},
        {30, math::TRIG_SINE, 30},
    };
    for (const auto& c : cases) {
        EXPECT_DOUBLE_EQ(math::degrees_to_radians(c.degrees, c.mode), c.reduced * r)
            << c.degrees << " mode " << c.mode;
    }
    // The reductions keep the function's value.
    for (double d : {100.0, 200.0, 290.0, -250.0, 1000.0}) {
        EXPECT_NEAR(std::sin(math::degrees_to_radians(d, math::TRIG_SINE)), std::sin(d * r), 1e-12) << d;
        EXPECT_NEAR(std::cos(math::degrees_to_radians(d, math::TRIG_COSINE)), std::cos(d * r), 1e-12) << d;
        EXPECT_NEAR(std::tan(math::degrees_to_radians(d, math::TRIG_TANGENT)), std::tan(d * r), 1e-9) << d;
    }
}

TEST(Arith, CheckedArithmeticReportsOverflow) {
    uint32_t u;
    EXPECT_TRUE(checked_add(0xFFFFFFF0u, 0xFu, &u));
    EXPECT_EQ(u, 0xFFFFFFFFu);
    EXPECT_FALSE(checked_add(0xFFFFFFF0u, 0x10u, &u));
    EXPECT_FALSE(checked_mul(0x10000u, 0x10000u, &u));
    int32_t i;
    EXPECT_FALSE(checked_sub(INT32_MIN, 1, &i));
    EXPECT_TRUE(checked_mul(-46340, 46340, &i));
    EXPECT_EQ(i, -2147395600);
}

}  // namespace
