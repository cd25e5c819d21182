// The machine stack's upper bound on Windows: the stack base recorded in the
// thread information block (fs:[4] on x86).
#include "runtime/collector.hpp"

namespace qor::gc::detail {

void* thread_stack_top() {
    void* base;
    asm volatile("movl %%fs:4, %0" : "=r"(base));
    return base;
}

}  // namespace qor::gc::detail
