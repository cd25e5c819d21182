// Win32 side of the platform layer (the product).
#include "runtime/platform.hpp"
#include "runtime/throw.hpp"

#include <windows.h>

namespace qor::platform {

void* virtual_alloc(size_t size, bool executable) {
    void* p = VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE,
                           executable ? PAGE_EXECUTE_READWRITE : PAGE_READWRITE);
    if (!p) throw Thrown{THROW_OS_ALLOC};
    return p;
}

void virtual_free(void* address, size_t /*size*/) {
    if (!VirtualFree(address, 0, MEM_RELEASE)) throw Thrown{THROW_OS_FREE};
}

}  // namespace qor::platform
