#include "runtime/heap.hpp"
#include "runtime/process.hpp"
#include "runtime/runtime_record.hpp"

#include <gtest/gtest.h>

#include <csignal>
#include <string>

namespace {

using namespace qor;

TEST(Process, ArgumentsAreCopiedToTheTrackedHeap) {
    char a0[] = "qor", a1[] = "script.qor", a2[] = "\xC3\xA9t\xC3\xA9", a3[] = "";
    char* argv[] = {a0, a1, a2, a3, nullptr};
    size_t blocks = heap::block_count();
    runtime::get_argv(4, argv);
    ASSERT_EQ(runtime::record->argc, 4);
    char** copy = runtime::record->argv;
    ASSERT_NE(copy, nullptr);
    for (int i = 0; i < 4; ++i) {
        EXPECT_NE(copy[i], argv[i]);
        EXPECT_STREQ(copy[i], argv[i]);
    }
    EXPECT_EQ(copy[4], nullptr);
    // A second call replaces the vector instead of piling up blocks.
    runtime::get_argv(1, argv);
    EXPECT_EQ(runtime::record->argc, 1);
    EXPECT_EQ(runtime::record->argv[1], nullptr);
    EXPECT_LE(heap::block_count(), blocks + 6);
    runtime::get_argv(0, nullptr);
    EXPECT_EQ(runtime::record->argc, 0);
    EXPECT_EQ(runtime::record->argv[0], nullptr);
}

TEST(Process, FaultSignalsMapToRuntimeErrors) {
    const struct {
        int signal, code, number;
    } cases[] = {
        {SIGILL, ILL_ILLOPN, 23},    {SIGILL, ILL_ILLADR, 24},    {SIGILL, ILL_ILLTRP, 25},
        {SIGILL, ILL_COPROC, 26},    {SIGILL, ILL_PRVREG, 31},    {SIGILL, ILL_ILLOPC, 17},
        {SIGILL, ILL_PRVOPC, 15},    {SIGBUS, BUS_ADRERR, 27},    {SIGBUS, BUS_OBJERR, 28},
        {SIGBUS, BUS_MCEERR_AR, 29}, {SIGBUS, BUS_MCEERR_AO, 30}, {SIGBUS, BUS_ADRALN, 2},
        {SIGBUS, SI_USER, 34},       {SIGSEGV, SEGV_MAPERR, 32},  {SIGFPE, FPE_INTDIV, 13},
        {SIGFPE, FPE_FLTDIV, 7},     {SIGFPE, SI_USER, 33},       {SIGTERM, 0, 99},
    };
    for (const auto& c : cases) EXPECT_EQ(runtime::signal_number(c.signal, c.code), c.number) << c.signal;
}

#if !defined(__SANITIZE_ADDRESS__)
TEST(ProcessDeathTest, AFaultEndsInTheRuntimeErrorReport) {
    EXPECT_EXIT(
        {
            runtime::install_fault_handlers();
            std::raise(SIGSEGV);
        },
        testing::ExitedWithCode(32), "Runtime Error 32: segmentation fault");
}
#endif

}  // namespace
