#include "runtime/console_output.hpp"
#include "runtime/heap.hpp"
#include "runtime/platform.hpp"
#include "runtime/process.hpp"
#include "runtime/runtime_record.hpp"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace {

using namespace qor;

TEST(ProcessWin32, CommandLineBecomesUtf8Arguments) {
    runtime::split_command_line(u"\"C:\\Program Files\\qor.exe\" script.qor \"arg with space\" "
                                u"quote\\\"inside caf\u00E9 \U0001F600");
    ASSERT_EQ(runtime::record->argc, 6);
    char** argv = runtime::record->argv;
    EXPECT_STREQ(argv[0], "C:\\Program Files\\qor.exe");
    EXPECT_STREQ(argv[1], "script.qor");
    EXPECT_STREQ(argv[2], "arg with space");
    EXPECT_STREQ(argv[3], "quote\"inside");
    EXPECT_STREQ(argv[4], "caf\xC3\xA9");
    EXPECT_STREQ(argv[5], "\xF0\x9F\x98\x80");
    EXPECT_EQ(argv[6], nullptr);

    runtime::get_argv();   // this process's own: at least the program's name
    ASSERT_GE(runtime::record->argc, 1);
    EXPECT_NE(std::string(runtime::record->argv[0]).find(".exe"), std::string::npos);
    EXPECT_EQ(runtime::record->argv[runtime::record->argc], nullptr);
}

NT_TIB* thread_information() {
    NT_TIB* tib;
    __asm__("movl %%fs:0x18, %0" : "=r"(tib));
    return tib;
}

// Touches about `depth` KB of stack.
__attribute__((noinline)) int deep(int depth) {
    volatile char page[1024];
    page[0] = char(depth);
    return depth == 0 ? page[0] : deep(depth - 1) + page[0];
}

[[noreturn]] void commit_and_check() {
    MEMORY_BASIC_INFORMATION here{};
    MEMORY_BASIC_INFORMATION low{};
    VirtualQuery(&here, &here, sizeof here);
    VirtualQuery(here.AllocationBase, &low, sizeof low);
    void* limit = thread_information()->StackLimit;
    bool was_reserved = low.State == MEM_RESERVE;

    runtime::commit_stack();

    VirtualQuery(here.AllocationBase, &low, sizeof low);
    bool ok = was_reserved ? low.State == MEM_COMMIT && thread_information()->StackLimit == here.AllocationBase
                           : thread_information()->StackLimit == limit;   // nothing to do: left alone
    deep(512);
    std::_Exit(ok ? 0 : 1);
}

// Committing the stack is tried in a child.  Where the stack below the
// pages in use is still reserved, afterwards it is committed and the
// thread's stack limit is its base.  (Wine commits the whole stack itself.)
TEST(ProcessWin32DeathTest, CommitStack) { EXPECT_EXIT(commit_and_check(), testing::ExitedWithCode(0), ""); }

bool under_wine() { return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr; }

TEST(ProcessWin32DeathTest, ExceptionsEndInTheRuntimeErrorReport) {
    EXPECT_EXIT(
        {
            runtime::install_fault_handlers();
            RaiseException(0xC0000094u, 0, 0, nullptr);
        },
        testing::ExitedWithCode(13), "Runtime Error 13: integer divide by zero");
    EXPECT_EXIT(
        {
            runtime::install_fault_handlers();
            *static_cast<volatile int*>(nullptr) = 1;
        },
        testing::ExitedWithCode(1), "Runtime Error 1: access violation");
    EXPECT_EXIT(
        {
            runtime::install_fault_handlers();
            RaiseException(0xE0000001u, 0, 0, nullptr);
        },
        testing::ExitedWithCode(99), "Runtime Error 99: unknown error");
}

TEST(ProcessWin32DeathTest, ControlCExitIsSilent) {
    if (under_wine()) GTEST_SKIP() << "needs real Windows: wine ends a control-C exit before the filter runs";
    EXPECT_EXIT(
        {
            runtime::install_fault_handlers();
            RaiseException(0xC000013Au, 0, 0, nullptr);
        },
        testing::ExitedWithCode(0), "^$");
}

TEST(ProcessWin32, NoConsoleUnderTheTestRunner) {
    EXPECT_EQ(console::system_screen(), nullptr);
    EXPECT_EQ(platform::gdiplus_startup(), 0);
    platform::gdiplus_shutdown();
}

}  // namespace
