// Win32 side of process start-up (the product).
#include "runtime/process.hpp"

#include "runtime/heap.hpp"
#include "runtime/output_hooks.hpp"
#include "runtime/platform.hpp"
#include "runtime/raw_utf.hpp"
#include "runtime/runtime_error.hpp"

#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

namespace qor::runtime {

void init_process() {
    commit_stack();
    install_fault_handlers();
    SetErrorMode(SEM_FAILCRITICALERRORS);
    platform::take_std_handles();
    get_argv();
}

void commit_stack() {
    MEMORY_BASIC_INFORMATION here{};
    if (!VirtualQuery(&here, &here, sizeof here)) return;
    auto base = static_cast<char*>(here.AllocationBase);
    // The stack's allocation starts with the still reserved part, then the
    // guard page, then the committed pages in use.
    MEMORY_BASIC_INFORMATION low;
    if (!VirtualQuery(base, &low, sizeof low) || low.State != MEM_RESERVE) return;
    char* guard = base + low.RegionSize;
    MEMORY_BASIC_INFORMATION above;
    if (!VirtualQuery(guard, &above, sizeof above) || above.AllocationBase != base) return;
    if (!VirtualAlloc(base, low.RegionSize, MEM_COMMIT, PAGE_READWRITE)) return;
    if (above.Protect & PAGE_GUARD) {
        DWORD old;
        if (!VirtualProtect(guard, above.RegionSize, PAGE_READWRITE, &old)) {
            VirtualFree(base, low.RegionSize, MEM_DECOMMIT);
            return;
        }
    }
    // The thread information block's stack limit (fs:[8] on x86).
    NT_TIB* tib;
    __asm__("movl %%fs:0x18, %0" : "=r"(tib));
    tib->StackLimit = base;
}

static LONG WINAPI exception_filter(EXCEPTION_POINTERS* pointers) {
    const CONTEXT* context = pointers->ContextRecord;
    if (context && context->ContextFlags == 0x1007F) set_fault_position(context->Esp, context->Ebp);
    const EXCEPTION_RECORD* e = pointers->ExceptionRecord;
    error(exception_number(e->ExceptionCode), uintptr_t(e->ExceptionAddress));
}

void install_fault_handlers() { SetUnhandledExceptionFilter(exception_filter); }

void get_argv() { split_command_line(reinterpret_cast<const char16_t*>(GetCommandLineW())); }

void split_command_line(const char16_t* command_line) {
    int argc = 0;
    LPWSTR* wide = CommandLineToArgvW(reinterpret_cast<LPCWSTR>(command_line), &argc);
    if (!wide) {
        const system_print::TypedRecord message[] = {system_print::string("CommandLineToArgvW failed!")};
        system_print::print_line(1, message);
        store_argv(0, nullptr);
        return;
    }
    std::vector<std::string> args;
    for (int i = 0; i < argc; ++i)
        args.push_back(raw_utf::utf16_to_utf8(reinterpret_cast<const char16_t*>(wide[i])));
    LocalFree(wide);
    std::vector<const char*> pointers;
    for (auto& a : args) pointers.push_back(a.c_str());
    store_argv(argc, pointers.data());
}

}  // namespace qor::runtime
