// The lowest address the calling thread's machine stack may grow down to
// (the base of its reservation).  The interpreter keeps a reserve above it,
// so that deep recursion ends in a language error instead of a fault.
#pragma once

namespace qor::platform {

// Null when the platform cannot tell.
const void* machine_stack_lowest();

}  // namespace qor::platform
