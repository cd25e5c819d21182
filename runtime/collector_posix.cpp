// The machine stack's upper bound on the native build: the address the C
// library recorded when the process started (everything main and its
// callees use lies below it).
#include "runtime/collector.hpp"

extern "C" void* __libc_stack_end;

namespace qor::gc::detail {

void* thread_stack_top() { return __libc_stack_end; }

}  // namespace qor::gc::detail
