// Windows: the allocation base of the region that holds the stack is the
// lowest address of its whole reservation.
#include "runtime/stack_bounds.hpp"

#include <windows.h>

namespace qor::platform {

const void* machine_stack_lowest() {
    MEMORY_BASIC_INFORMATION info;
    char probe = 0;
    if (VirtualQuery(&probe, &info, sizeof info) == 0) return nullptr;
    return info.AllocationBase;
}

}  // namespace qor::platform
