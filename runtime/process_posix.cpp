// POSIX side of process start-up (the native build).
#include "runtime/process.hpp"

#include "runtime/platform.hpp"
#include "runtime/runtime_error.hpp"

#include <csignal>
#include <ucontext.h>

namespace qor::runtime {

void init_process(int argc, char** argv) {
    commit_stack();
    install_fault_handlers();
    platform::take_std_handles();
    get_argv(argc, argv);
}

void commit_stack() {}

void get_argv(int argc, char** argv) { store_argv(argv ? argc : 0, argv); }

int signal_number(int signal, int code) {
    switch (signal) {
        case SIGILL:
            switch (code) {
                case ILL_ILLOPN: return 23;
                case ILL_ILLADR: return 24;
                case ILL_ILLTRP: return 25;
                case ILL_COPROC: return 26;
                case ILL_PRVREG: return 31;
                case ILL_PRVOPC: return 15;
                case ILL_BADSTK: return 19;
                default:         return 17;   // illegal instruction
            }
        case SIGFPE:
            switch (code) {
                case FPE_INTDIV: return 13;
                case FPE_INTOVF: return 14;
                case FPE_FLTDIV: return 7;
                case FPE_FLTOVF: return 10;
                case FPE_FLTUND: return 12;
                case FPE_FLTRES: return 8;
                case FPE_FLTINV: return 9;
                case FPE_FLTSUB: return 5;
                default:         return 33;   // FPU error
            }
        case SIGBUS:
            switch (code) {
                case BUS_ADRALN:    return 2;
                case BUS_ADRERR:    return 27;
                case BUS_OBJERR:    return 28;
                case BUS_MCEERR_AR: return 29;
                case BUS_MCEERR_AO: return 30;
                default:            return 34;   // Bus error
            }
        case SIGSEGV: return 32;
        case SIGTRAP: return 3;
        default:      return ERR_UNKNOWN;
    }
}

#if !defined(__SANITIZE_ADDRESS__)
static void on_fault(int signal, siginfo_t* info, void* context) {
    uintptr_t at = uintptr_t(info->si_addr);
#if defined(__i386__)
    auto uc = static_cast<ucontext_t*>(context);
    set_fault_position(uintptr_t(uc->uc_mcontext.gregs[REG_ESP]), uintptr_t(uc->uc_mcontext.gregs[REG_EBP]));
    at = uintptr_t(uc->uc_mcontext.gregs[REG_EIP]);
#endif
    error(signal_number(signal, info->si_code), at);
}

// A stack overflow is reported from a stack of its own.
static char alternate_stack[64 * 1024];
#endif

void install_fault_handlers() {
#if !defined(__SANITIZE_ADDRESS__)
    stack_t ss{};
    ss.ss_sp = alternate_stack;
    ss.ss_size = sizeof alternate_stack;
    sigaltstack(&ss, nullptr);
    struct sigaction sa{};
    sa.sa_sigaction = on_fault;
    sa.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&sa.sa_mask);
    for (int s : {SIGSEGV, SIGBUS, SIGFPE, SIGILL}) sigaction(s, &sa, nullptr);
#endif
}

}  // namespace qor::runtime
