// Helpers shared by the natives' files: the argument cells, the argument
// type checks of a call with check? set, and passing on an exit that was
// aimed below the native.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"
#include "datatypes/stack.hpp"
#include "runtime/throw.hpp"

namespace qor::natives::support {

// The running native's arguments: cell 0 is also its result slot.
inline Cell* args() { return stack::arguments_base(); }

// Type masks for the checks (type ids are below 64).
constexpr uint64_t T(uint32_t type) { return uint64_t(1) << type; }

// script/expect-arg: the current call's word, the value's datatype and the
// argument's word (spelled `arg`).
[[noreturn]] void raise_expect_arg(const Cell* value, const char* arg);

// The check of argument k (from the arguments base) against a mask of
// allowed types, made when the native was called with check? set.
inline void expect(uint32_t k, const char* arg, uint64_t allowed) {
    const Cell* a = args() + k;
    uint32_t t = type_of(a);
    if (t >= 64 || !((allowed >> t) & 1)) raise_expect_arg(a, arg);
}

// An exit whose code a nested evaluation answered and whose target lies
// below this native: the stacks are cut already.  The interpreter (check?
// false) takes the code back as pending; any other caller gets it thrown.
inline int32_t pass_on(bool check, uint32_t code) {
    if (check && code != 0) throw Thrown{code};
    return int32_t(code);
}

}  // namespace qor::natives::support
