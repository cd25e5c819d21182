// Barriers at foreign frames.  No C++ exception and no throw code may cross
// a frame of the operating system or the C runtime (window and subclass
// procedures, timer and enumeration callbacks, COM callbacks, qsort
// comparators, thread entries): every such entry runs its body through
// `barrier`, which stops everything and hands the failure to the system's
// handling.
//
//     static LRESULT CALLBACK window_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
//         return qor::barrier([&] { return handle_message(w, m, wp, lp); }, LRESULT(0));
//     }
#pragma once
#include <cstdint>
#include <utility>

namespace qor {

struct BarrierFailure {
    enum Kind : uint8_t {
        THROWN,          // a qor::Thrown; `code` holds its code
        OUT_OF_MEMORY,   // std::bad_alloc
        STD_EXCEPTION,   // another std::exception; `what` holds its text
        OTHER,           // anything else
    };
    Kind        kind;
    uint32_t    code;
    const char* what;      // valid only while the handler runs
    uintptr_t   address;   // where the throw came from when known, else the barrier's address
};

// Receives every failure stopped by a barrier.  When it returns, the barrier
// answers its failure value; it may also end the process.  A handler that
// throws is itself stopped and reported fatally.
using BarrierHandler = void (*)(const BarrierFailure& failure);

// Installs a handler (null restores the default) and answers the previous one.
BarrierHandler set_barrier_handler(BarrierHandler handler);

// The default handling: the runtime error report, which ends the process
// (95 for a throw code, 94 for memory exhaustion, 99 for anything else).
[[noreturn]] void report_failure(const BarrierFailure& failure);

// Describes the exception being handled; call only inside a catch block.
BarrierFailure current_failure(uintptr_t fallback_address);

// Hands a failure to the installed handler; call only inside a catch block.
void barrier_failed(const BarrierFailure& failure) noexcept;

// Runs f(); answers its result, or `on_failure` after a failure was handed on.
template <class R, class F>
R barrier(F&& f, R on_failure) noexcept {
    try {
        return std::forward<F>(f)();
    } catch (...) {
        barrier_failed(current_failure(uintptr_t(__builtin_return_address(0))));
    }
    return on_failure;
}

template <class F>
void barrier(F&& f) noexcept {
    try {
        std::forward<F>(f)();
    } catch (...) {
        barrier_failed(current_failure(uintptr_t(__builtin_return_address(0))));
    }
}

}  // namespace qor
